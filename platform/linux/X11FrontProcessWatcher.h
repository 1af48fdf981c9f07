#pragma once

#include "platform/FrontProcessSource.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <xcb/xcb.h>

#include <sys/types.h>
#include <memory>
#include <optional>

class QSocketNotifier;

// Knows the name of the process that owns the active X11 window: its _NET_WM_PID's
// /proc/<pid>/comm, else the window's WM_CLASS class. The name is kept current from
// property-change events on a connection of its own, read on the owning thread's event
// loop, and every query is sent without waiting for its answer; so asking for the name is
// a plain read and a key event never waits on the X server.
class X11FrontProcessWatcher : public FrontProcessSource {
    Q_OBJECT
public:
    // Fails, saying why in plain words, when the X server cannot be reached.
    static Result<std::unique_ptr<X11FrontProcessWatcher>> create(
        const QByteArray &displayName = {});
    ~X11FrontProcessWatcher() override;

    const QString &frontProcessName() const override { return m_name; }
    bool isConnected() const override { return !m_lost; }

private:
    enum class Query { ActiveWindow, Pid, WindowClass };
    struct Atoms {
        xcb_atom_t activeWindow = XCB_NONE;
        xcb_atom_t pid = XCB_NONE;
        xcb_atom_t utf8String = XCB_NONE;
    };
    struct InFlight {
        Query query;
        xcb_window_t window;
        unsigned int sequence;
    };
    struct ConnectionCloser {
        void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
    };
    using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

    X11FrontProcessWatcher(Connection connection, xcb_window_t root, const Atoms &atoms);

    static std::optional<Atoms> internAtoms(xcb_connection_t *connection);
    static bool watchRoot(xcb_connection_t *connection, xcb_window_t root);

    void processConnection();
    bool drainEvents(xcb_generic_event_t *(*next)(xcb_connection_t *));
    void handleEvent(const xcb_generic_event_t *event);
    void handlePropertyNotify(const xcb_property_notify_event_t &event);
    void want(Query query);
    void sendNextQuery();
    bool collectReply();
    void applyReply(const InFlight &query, const xcb_get_property_reply_t *reply);
    void setActiveWindow(xcb_window_t window);
    void selectWindowEvents(xcb_window_t window, quint32 mask);
    QString resolveName() const;
    void setName(const QString &name);
    void loseConnection();

    Connection m_connection;
    xcb_window_t m_root;
    Atoms m_atoms;
    std::unique_ptr<QSocketNotifier> m_notifier;
    // One query at a time: with a single reply outstanding, draining the connection never
    // leaves a reply or event behind in xcb's buffers where the socket notifier cannot see it.
    std::optional<InFlight> m_inFlight;
    unsigned m_wanted = 0;
    xcb_window_t m_activeWindow = XCB_NONE;
    std::optional<pid_t> m_pid;
    QString m_windowClass;
    bool m_nameStale = false;
    bool m_lost = false;
    QString m_name;
};
