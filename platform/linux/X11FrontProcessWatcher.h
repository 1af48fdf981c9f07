#pragma once

#include "platform/FrontProcessSource.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <xcb/xcb.h>

#include <sys/types.h>
#include <memory>
#include <optional>

class QSocketNotifier;

// Knows which process owns the X11 window in front. The window is the one an EWMH window
// manager names active; with no such manager, the top-level window that holds the input
// focus (or lies under the pointer while the focus follows it). Its process is the X server's
// own record of the client (X-Resource), or, where the server keeps none, the window's
// _NET_WM_PID; the name is that process's /proc/<pid>/comm, else the window's WM_CLASS class.
// Everything is kept current from events on a connection of its own, read on the owning
// thread's event loop, and every query is sent without waiting for its answer; so asking for
// the name is a plain read and a key event never waits on the X server.
class X11FrontProcessWatcher : public FrontProcessSource {
    Q_OBJECT
public:
    // Fails, saying why in plain words, when the X server cannot be reached.
    static Result<std::unique_ptr<X11FrontProcessWatcher>> create(
        const QByteArray &displayName = {});
    ~X11FrontProcessWatcher() override;

    Front front() const override { return m_front; }
    const QString &frontProcessName() const override { return m_name; }
    bool isConnected() const override { return !m_lost; }
    void setWatching(bool watching) override;

private:
    // How often, at most, the window under the pointer is asked for while the focus follows
    // the pointer: no event says when the pointer crosses into another window's reach.
    static constexpr int PointerPollMs = 100;

    // Where a window's process id comes from.
    enum class PidSource { Server, WindowProperty, None };
    enum class Mode { Idle, Detecting, ActiveWindow, InputFocus };
    // Sent in this order when several are wanted.
    enum class Query {
        WmCheck,
        WmCheckEcho,
        WmSupported,
        ActiveWindow,
        TopLevels,
        Focus,
        Pointer,
        Parent,
        ClientPid,
        WindowPid,
        WindowClass,
    };
    struct Atoms {
        xcb_atom_t activeWindow = XCB_NONE;
        xcb_atom_t pid = XCB_NONE;
        xcb_atom_t utf8String = XCB_NONE;
        xcb_atom_t wmCheck = XCB_NONE;
        xcb_atom_t supported = XCB_NONE;
    };
    struct InFlight {
        Query query;
        xcb_window_t window;
        unsigned int sequence;
        unsigned epoch;
    };
    struct ConnectionCloser {
        void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
    };
    using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

    X11FrontProcessWatcher(Connection connection, xcb_window_t root, const Atoms &atoms,
                           PidSource pidSource);

    static std::optional<Atoms> internAtoms(xcb_connection_t *connection);
    static PidSource pidSourceOf(xcb_connection_t *connection);

    void processConnection();
    bool drainEvents(xcb_generic_event_t *(*next)(xcb_connection_t *));
    void handleEvent(const xcb_generic_event_t *event);
    void handlePropertyNotify(const xcb_property_notify_event_t &event);
    void handleDestroyNotify(xcb_window_t window);
    void handleReparentNotify(const xcb_reparent_notify_event_t &event);
    void want(Query query);
    void sendNextQuery();
    xcb_window_t subjectOf(Query query) const;
    unsigned int send(Query query, xcb_window_t window);
    bool collectReply();
    void applyReply(const InFlight &query, void *reply);
    void applyWindowReply(Query query, void *reply);
    void applyFocus(const xcb_get_input_focus_reply_t *reply);
    void applyParent(xcb_window_t window, const xcb_query_tree_reply_t *reply);
    void applyTopLevels(const xcb_query_tree_reply_t *reply);
    void startDetection();
    void enterMode(Mode mode);
    void resetTracking();
    void trackTopLevel(xcb_window_t window);
    void setFrontWindow(xcb_window_t window, bool reannounced = false);
    quint32 eventMaskOf(xcb_window_t window) const;
    void updateEventMask(xcb_window_t window);
    void resolveName();
    void setFront(Front front, const QString &name);
    void loseConnection();

    Connection m_connection;
    xcb_window_t m_root;
    Atoms m_atoms;
    PidSource m_pidSource;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_pointerPoll;
    bool m_watching = true;
    Mode m_mode = Mode::Idle;
    // One query at a time: with a single reply outstanding, draining the connection never
    // leaves a reply or event behind in xcb's buffers where the socket notifier cannot see it.
    std::optional<InFlight> m_inFlight;
    unsigned m_wanted = 0;
    // Changes whenever what was asked may no longer apply, so late answers are dropped.
    unsigned m_epoch = 0;
    xcb_window_t m_wmCheck = XCB_NONE;
    QSet<xcb_window_t> m_topLevels;
    xcb_window_t m_walk = XCB_NONE;
    bool m_frontFound = false;
    xcb_window_t m_frontWindow = XCB_NONE;
    std::optional<pid_t> m_pid;
    QString m_windowClass;
    bool m_nameStale = false;
    bool m_lost = false;
    Front m_front = Front::Unwatched;
    QString m_name;
};
