#include "platform/linux/X11FrontProcessWatcher.h"

#include "platform/linux/ProcessName.h"
#include "platform/linux/X11PropertyDecoder.h"

#include <QSocketNotifier>

#include <xcb/xcbext.h>

#include <array>
#include <cstdlib>

namespace {

struct FreeDeleter {
    void operator()(void *memory) const { std::free(memory); }
};
template <typename T>
using Freed = std::unique_ptr<T, FreeDeleter>;

// Room for "instance\0class\0" of any sensible client, in 32-bit units.
constexpr quint32 WindowClassLength = 256;

unsigned bit(int query) { return 1u << query; }

QString unreachable(const QByteArray &displayName, const char *what) {
    const QByteArray shown = displayName.isEmpty() ? qgetenv("DISPLAY") : displayName;
    if (shown.isEmpty()) return QStringLiteral("X server unreachable: no display is set");
    return QStringLiteral("X server unreachable at display \"%1\": %2")
        .arg(QString::fromLocal8Bit(shown), QLatin1String(what));
}

xcb_window_t rootOf(xcb_connection_t *connection, int screenNumber) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    return screens.rem > 0 ? screens.data->root : XCB_NONE;
}

}  // namespace

Result<std::unique_ptr<X11FrontProcessWatcher>> X11FrontProcessWatcher::create(
    const QByteArray &displayName) {
    auto fail = [&](const char *what) { return Failure{unreachable(displayName, what)}; };
    int screenNumber = 0;
    Connection connection(
        xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber));
    if (xcb_connection_has_error(connection.get())) return fail("cannot connect");
    const xcb_window_t root = rootOf(connection.get(), screenNumber);
    if (root == XCB_NONE) return fail("no such screen");
    const std::optional<Atoms> atoms = internAtoms(connection.get());
    if (!atoms) return fail("cannot look up window properties");
    if (!watchRoot(connection.get(), root)) return fail("cannot watch the root window");
    std::unique_ptr<X11FrontProcessWatcher> watcher(
        new X11FrontProcessWatcher(std::move(connection), root, *atoms));
    watcher->want(Query::ActiveWindow);
    watcher->processConnection();
    return watcher;
}

X11FrontProcessWatcher::X11FrontProcessWatcher(Connection connection, xcb_window_t root,
                                               const Atoms &atoms)
    : m_connection(std::move(connection)), m_root(root), m_atoms(atoms),
      m_notifier(std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection.get()),
                                                   QSocketNotifier::Read)) {
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &X11FrontProcessWatcher::processConnection);
}

// The notifier must stop watching the descriptor before the connection closes it.
X11FrontProcessWatcher::~X11FrontProcessWatcher() { m_notifier.reset(); }

std::optional<X11FrontProcessWatcher::Atoms> X11FrontProcessWatcher::internAtoms(
    xcb_connection_t *connection) {
    static constexpr std::array<QByteArrayView, 3> names{"_NET_ACTIVE_WINDOW", "_NET_WM_PID",
                                                         "UTF8_STRING"};
    std::array<xcb_intern_atom_cookie_t, 3> cookies{};
    for (size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, quint16(names[i].size()), names[i].data());
    std::array<xcb_atom_t, 3> found{};
    for (size_t i = 0; i < names.size(); ++i) {
        Freed<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection, cookies[i], nullptr));
        if (!reply) return std::nullopt;
        found[i] = reply->atom;
    }
    return Atoms{found[0], found[1], found[2]};
}

bool X11FrontProcessWatcher::watchRoot(xcb_connection_t *connection, xcb_window_t root) {
    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    Freed<xcb_generic_error_t> error(
        xcb_request_check(connection,
                          xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK,
                                                               &mask)));
    return !error && !xcb_connection_has_error(connection);
}

void X11FrontProcessWatcher::processConnection() {
    xcb_connection_t *connection = m_connection.get();
    bool progressed = true;
    while (progressed && !xcb_connection_has_error(connection)) {
        sendNextQuery();
        xcb_flush(connection);
        progressed = drainEvents(xcb_poll_for_event);
        progressed |= collectReply();
        // Reading the reply may have pulled further events off the socket.
        progressed |= drainEvents(xcb_poll_for_queued_event);
    }
    if (xcb_connection_has_error(connection)) {
        loseConnection();
        return;
    }
    if (m_nameStale && !m_inFlight && m_wanted == 0) {
        m_nameStale = false;
        setName(resolveName());
    }
}

bool X11FrontProcessWatcher::drainEvents(xcb_generic_event_t *(*next)(xcb_connection_t *)) {
    bool any = false;
    while (Freed<xcb_generic_event_t> event{next(m_connection.get())}) {
        handleEvent(event.get());
        any = true;
    }
    return any;
}

void X11FrontProcessWatcher::handleEvent(const xcb_generic_event_t *event) {
    switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY:
        handlePropertyNotify(*reinterpret_cast<const xcb_property_notify_event_t *>(event));
        break;
    case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window == m_activeWindow)
            setActiveWindow(XCB_NONE);
        break;
    default:
        // Errors of event-selection requests on a window that has vanished meanwhile: its
        // property queries fail as well, which leaves no name.
        break;
    }
}

void X11FrontProcessWatcher::handlePropertyNotify(const xcb_property_notify_event_t &event) {
    if (event.window == m_root && event.atom == m_atoms.activeWindow) want(Query::ActiveWindow);
    if (event.window != m_activeWindow) return;
    if (event.atom == m_atoms.pid)
        want(Query::Pid);
    else if (event.atom == XCB_ATOM_WM_CLASS)
        want(Query::WindowClass);
}

void X11FrontProcessWatcher::want(Query query) { m_wanted |= bit(int(query)); }

void X11FrontProcessWatcher::sendNextQuery() {
    if (m_inFlight || m_wanted == 0) return;
    for (const Query query : {Query::ActiveWindow, Query::Pid, Query::WindowClass}) {
        if (!(m_wanted & bit(int(query)))) continue;
        m_wanted &= ~bit(int(query));
        const xcb_window_t window = query == Query::ActiveWindow ? m_root : m_activeWindow;
        if (window == XCB_NONE) continue;
        const xcb_atom_t property = query == Query::ActiveWindow ? m_atoms.activeWindow
                                    : query == Query::Pid        ? m_atoms.pid
                                                                 : xcb_atom_t(XCB_ATOM_WM_CLASS);
        const quint32 length = query == Query::WindowClass ? WindowClassLength : 1;
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(m_connection.get(), 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                             length);
        m_inFlight = InFlight{query, window, cookie.sequence};
        return;
    }
}

bool X11FrontProcessWatcher::collectReply() {
    if (!m_inFlight) return false;
    void *reply = nullptr;
    xcb_generic_error_t *error = nullptr;
    if (!xcb_poll_for_reply(m_connection.get(), m_inFlight->sequence, &reply, &error)) return false;
    // A failed query (the window is gone) has no reply and reads as an absent property.
    const Freed<xcb_get_property_reply_t> answer(static_cast<xcb_get_property_reply_t *>(reply));
    const Freed<xcb_generic_error_t> failure(error);
    const InFlight query = *m_inFlight;
    m_inFlight.reset();
    applyReply(query, answer.get());
    return true;
}

void X11FrontProcessWatcher::applyReply(const InFlight &query,
                                        const xcb_get_property_reply_t *reply) {
    if (query.query == Query::ActiveWindow) {
        setActiveWindow(X11PropertyDecoder::window(reply));
        return;
    }
    // The answer may belong to a window that has left the front meanwhile.
    if (query.window != m_activeWindow) return;
    if (query.query == Query::Pid)
        m_pid = X11PropertyDecoder::pid(reply);
    else
        m_windowClass = X11PropertyDecoder::windowClass(reply, m_atoms.utf8String);
    m_nameStale = true;
}

void X11FrontProcessWatcher::setActiveWindow(xcb_window_t window) {
    if (window == m_activeWindow) return;
    selectWindowEvents(m_activeWindow, XCB_EVENT_MASK_NO_EVENT);
    m_activeWindow = window;
    m_pid.reset();
    m_windowClass.clear();
    m_wanted &= ~(bit(int(Query::Pid)) | bit(int(Query::WindowClass)));
    // Until the new window's properties are in, there is no name to act on.
    setName(QString());
    if (window == XCB_NONE) return;
    // Watch first, then ask, so that a property set in between is not missed.
    selectWindowEvents(window, XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    want(Query::Pid);
    want(Query::WindowClass);
    m_nameStale = true;
}

void X11FrontProcessWatcher::selectWindowEvents(xcb_window_t window, quint32 mask) {
    if (window == XCB_NONE || window == m_root) return;
    xcb_change_window_attributes(m_connection.get(), window, XCB_CW_EVENT_MASK, &mask);
}

QString X11FrontProcessWatcher::resolveName() const {
    if (m_pid) {
        const QString name = ProcessName::ofPid(*m_pid);
        if (!name.isNull()) return name;
    }
    return m_windowClass;
}

void X11FrontProcessWatcher::setName(const QString &name) {
    if (name == m_name && name.isNull() == m_name.isNull()) return;
    m_name = name;
    emit frontProcessNameChanged(m_name);
}

void X11FrontProcessWatcher::loseConnection() {
    if (m_lost) return;
    m_lost = true;
    m_notifier->setEnabled(false);
    m_inFlight.reset();
    m_wanted = 0;
    m_activeWindow = XCB_NONE;
    m_pid.reset();
    m_windowClass.clear();
    setName(QString());
    emit connectionLost();
}
