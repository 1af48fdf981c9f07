#include "platform/linux/X11FrontProcessWatcher.h"

#include "platform/linux/ProcessName.h"
#include "platform/linux/X11PropertyDecoder.h"

#include <QSocketNotifier>

#include <xcb/res.h>
#include <xcb/xcbext.h>

#include <unistd.h>
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
// Room for every atom a window manager may announce.
constexpr quint32 SupportedLength = 1024;

constexpr quint32 WatchedWindowMask =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

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

bool selectRootEvents(xcb_connection_t *connection, xcb_window_t root, quint32 mask) {
    Freed<xcb_generic_error_t> error(
        xcb_request_check(connection,
                          xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK,
                                                               &mask)));
    return !error && !xcb_connection_has_error(connection);
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
    if (!selectRootEvents(connection.get(), root, XCB_EVENT_MASK_NO_EVENT))
        return fail("cannot watch the root window");
    const PidSource pidSource = pidSourceOf(connection.get());
    std::unique_ptr<X11FrontProcessWatcher> watcher(
        new X11FrontProcessWatcher(std::move(connection), root, *atoms, pidSource));
    watcher->startDetection();
    watcher->processConnection();
    return watcher;
}

X11FrontProcessWatcher::X11FrontProcessWatcher(Connection connection, xcb_window_t root,
                                               const Atoms &atoms, PidSource pidSource)
    : m_connection(std::move(connection)), m_root(root), m_atoms(atoms), m_pidSource(pidSource),
      m_notifier(std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection.get()),
                                                   QSocketNotifier::Read)) {
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            &X11FrontProcessWatcher::processConnection);
    m_pointerPoll.setInterval(PointerPollMs);
    connect(&m_pointerPoll, &QTimer::timeout, this, [this] {
        want(Query::Pointer);
        processConnection();
    });
}

// The notifier must stop watching the descriptor before the connection closes it.
X11FrontProcessWatcher::~X11FrontProcessWatcher() { m_notifier.reset(); }

std::optional<X11FrontProcessWatcher::Atoms> X11FrontProcessWatcher::internAtoms(
    xcb_connection_t *connection) {
    static constexpr std::array<QByteArrayView, 5> names{"_NET_ACTIVE_WINDOW", "_NET_WM_PID",
                                                         "UTF8_STRING", "_NET_SUPPORTING_WM_CHECK",
                                                         "_NET_SUPPORTED"};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, quint16(names[i].size()), names[i].data());
    std::array<xcb_atom_t, names.size()> found{};
    for (size_t i = 0; i < names.size(); ++i) {
        Freed<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection, cookies[i], nullptr));
        if (!reply) return std::nullopt;
        found[i] = reply->atom;
    }
    return Atoms{found[0], found[1], found[2], found[3], found[4]};
}

// The server's record of a client's process is used when the server keeps one and its process
// ids are ours: it tells our own connection's process as the pid we have. A server in another
// pid namespace tells numbers that would name unrelated processes here, so then no pid is used;
// one that keeps none (an old server, a remote display) leaves the windows' own claims.
X11FrontProcessWatcher::PidSource X11FrontProcessWatcher::pidSourceOf(
    xcb_connection_t *connection) {
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_res_id);
    if (!extension || !extension->present) return PidSource::WindowProperty;
    const Freed<xcb_res_query_version_reply_t> version(
        xcb_res_query_version_reply(connection, xcb_res_query_version(connection, 1, 2), nullptr));
    if (!version || (version->server_major == 1 && version->server_minor < 2))
        return PidSource::WindowProperty;
    const xcb_res_client_id_spec_t self{xcb_get_setup(connection)->resource_id_base,
                                        XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const Freed<xcb_res_query_client_ids_reply_t> ids(
        xcb_res_query_client_ids_reply(connection, xcb_res_query_client_ids(connection, 1, &self),
                                       nullptr));
    const std::optional<pid_t> pid = X11PropertyDecoder::clientPid(ids.get());
    if (!pid) return PidSource::WindowProperty;
    return *pid == ::getpid() ? PidSource::Server : PidSource::None;
}

void X11FrontProcessWatcher::setWatching(bool watching) {
    if (m_lost || watching == m_watching) return;
    m_watching = watching;
    if (watching) {
        startDetection();
    } else {
        enterMode(Mode::Idle);
        setFront(Front::Unwatched, QString());
    }
    processConnection();
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
        resolveName();
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
    // Events still queued from before the watching stopped.
    if (m_mode == Mode::Idle) return;
    switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY:
        handlePropertyNotify(*reinterpret_cast<const xcb_property_notify_event_t *>(event));
        break;
    case XCB_DESTROY_NOTIFY:
        handleDestroyNotify(reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window);
        break;
    case XCB_CREATE_NOTIFY: {
        const auto *created = reinterpret_cast<const xcb_create_notify_event_t *>(event);
        if (created->parent == m_root) trackTopLevel(created->window);
        break;
    }
    case XCB_REPARENT_NOTIFY:
        handleReparentNotify(*reinterpret_cast<const xcb_reparent_notify_event_t *>(event));
        break;
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT:
    case XCB_MAP_NOTIFY:
    case XCB_UNMAP_NOTIFY:
        if (m_mode == Mode::InputFocus) want(Query::Focus);
        break;
    default:
        // Errors of event-selection requests on a window that has vanished meanwhile: its
        // queries fail as well, which leaves no name.
        break;
    }
}

void X11FrontProcessWatcher::handlePropertyNotify(const xcb_property_notify_event_t &event) {
    if (event.window == m_root) {
        if (event.atom == m_atoms.wmCheck || event.atom == m_atoms.supported)
            startDetection();
        else if (event.atom == m_atoms.activeWindow && m_mode == Mode::ActiveWindow)
            want(Query::ActiveWindow);
        return;
    }
    if (event.window != m_frontWindow) return;
    if (event.atom == m_atoms.pid && m_pidSource == PidSource::WindowProperty)
        want(Query::WindowPid);
    else if (event.atom == XCB_ATOM_WM_CLASS)
        want(Query::WindowClass);
}

void X11FrontProcessWatcher::handleDestroyNotify(xcb_window_t window) {
    m_topLevels.remove(window);
    if (window == m_wmCheck) {
        // The window manager has gone; the focus tells from now on.
        startDetection();
    } else if (window == m_frontWindow) {
        if (m_mode == Mode::InputFocus)
            want(Query::Focus);
        else
            setFrontWindow(XCB_NONE);
    }
}

void X11FrontProcessWatcher::handleReparentNotify(const xcb_reparent_notify_event_t &event) {
    if (m_mode != Mode::InputFocus) return;
    if (event.parent == m_root) {
        trackTopLevel(event.window);
    } else if (m_topLevels.remove(event.window)) {
        updateEventMask(event.window);
        want(Query::Focus);
    }
}

void X11FrontProcessWatcher::want(Query query) { m_wanted |= bit(int(query)); }

void X11FrontProcessWatcher::sendNextQuery() {
    if (m_inFlight || m_wanted == 0) return;
    for (int i = 0; i <= int(Query::WindowClass); ++i) {
        const auto query = Query(i);
        if (!(m_wanted & bit(i))) continue;
        m_wanted &= ~bit(i);
        const xcb_window_t window = subjectOf(query);
        if (window == XCB_NONE) continue;
        m_inFlight = InFlight{query, window, send(query, window), m_epoch};
        return;
    }
}

xcb_window_t X11FrontProcessWatcher::subjectOf(Query query) const {
    switch (query) {
    case Query::WmCheckEcho:
        return m_wmCheck;
    case Query::Parent:
        return m_walk;
    case Query::ClientPid:
    case Query::WindowPid:
    case Query::WindowClass:
        return m_frontWindow;
    default:
        return m_root;
    }
}

unsigned int X11FrontProcessWatcher::send(Query query, xcb_window_t window) {
    xcb_connection_t *c = m_connection.get();
    auto property = [&](xcb_atom_t atom, quint32 length) {
        return xcb_get_property(c, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, length).sequence;
    };
    switch (query) {
    case Query::WmCheck:
    case Query::WmCheckEcho:
        return property(m_atoms.wmCheck, 1);
    case Query::WmSupported:
        return property(m_atoms.supported, SupportedLength);
    case Query::ActiveWindow:
        return property(m_atoms.activeWindow, 1);
    case Query::TopLevels:
    case Query::Parent:
        return xcb_query_tree(c, window).sequence;
    case Query::Focus:
        return xcb_get_input_focus(c).sequence;
    case Query::Pointer:
        return xcb_query_pointer(c, window).sequence;
    case Query::ClientPid: {
        const xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        return xcb_res_query_client_ids(c, 1, &wanted).sequence;
    }
    case Query::WindowPid:
        return property(m_atoms.pid, 1);
    case Query::WindowClass:
        return property(XCB_ATOM_WM_CLASS, WindowClassLength);
    }
    return 0;
}

bool X11FrontProcessWatcher::collectReply() {
    if (!m_inFlight) return false;
    void *reply = nullptr;
    xcb_generic_error_t *error = nullptr;
    if (!xcb_poll_for_reply(m_connection.get(), m_inFlight->sequence, &reply, &error)) return false;
    // A failed query (the window is gone) has no reply and reads as an absent answer.
    const Freed<void> answer(reply);
    const Freed<xcb_generic_error_t> failure(error);
    const InFlight query = *m_inFlight;
    m_inFlight.reset();
    if (query.epoch == m_epoch) applyReply(query, answer.get());
    return true;
}

void X11FrontProcessWatcher::applyReply(const InFlight &query, void *reply) {
    const auto *property = static_cast<const xcb_get_property_reply_t *>(reply);
    switch (query.query) {
    case Query::WmCheck:
        m_wmCheck = X11PropertyDecoder::window(property);
        if (m_wmCheck == XCB_NONE) return enterMode(Mode::InputFocus);
        // Watched before it is asked, so that a manager quitting in between is noticed.
        updateEventMask(m_wmCheck);
        return want(Query::WmCheckEcho);
    case Query::WmCheckEcho:
        // A manager that has gone leaves its root property naming a window that is no more.
        if (X11PropertyDecoder::window(property) != query.window)
            return enterMode(Mode::InputFocus);
        return want(Query::WmSupported);
    case Query::WmSupported:
        return enterMode(X11PropertyDecoder::containsAtom(property, m_atoms.activeWindow)
                             ? Mode::ActiveWindow
                             : Mode::InputFocus);
    case Query::ActiveWindow:
        // The same id again may be a new window: a manager that restarted, or a window that
        // got the id of one that is gone, so it is looked at afresh.
        return setFrontWindow(X11PropertyDecoder::window(property), true);
    case Query::TopLevels:
        return applyTopLevels(static_cast<const xcb_query_tree_reply_t *>(reply));
    case Query::Focus:
        return applyFocus(static_cast<const xcb_get_input_focus_reply_t *>(reply));
    case Query::Pointer: {
        const auto *pointer = static_cast<const xcb_query_pointer_reply_t *>(reply);
        return setFrontWindow(pointer && pointer->same_screen ? pointer->child : XCB_NONE);
    }
    case Query::Parent:
        if (query.window == m_walk)
            applyParent(query.window, static_cast<const xcb_query_tree_reply_t *>(reply));
        return;
    default:
        // The answer may belong to a window that has left the front meanwhile.
        if (query.window == m_frontWindow) applyWindowReply(query.query, reply);
        return;
    }
}

void X11FrontProcessWatcher::applyWindowReply(Query query, void *reply) {
    if (query == Query::ClientPid)
        m_pid = X11PropertyDecoder::clientPid(
            static_cast<const xcb_res_query_client_ids_reply_t *>(reply));
    const auto *property = static_cast<const xcb_get_property_reply_t *>(reply);
    if (query == Query::WindowPid) m_pid = X11PropertyDecoder::pid(property);
    if (query == Query::WindowClass)
        m_windowClass = X11PropertyDecoder::windowClass(property, m_atoms.utf8String);
    m_nameStale = true;
}

void X11FrontProcessWatcher::applyFocus(const xcb_get_input_focus_reply_t *reply) {
    const xcb_window_t focus = reply ? reply->focus : xcb_window_t(XCB_NONE);
    // Whatever an earlier answer set going is moot now.
    m_wanted &= ~(bit(int(Query::Pointer)) | bit(int(Query::Parent)));
    m_walk = XCB_NONE;
    // Keys go to the window under the pointer.
    if (focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus == m_root) {
        if (!m_pointerPoll.isActive()) m_pointerPoll.start();
        return want(Query::Pointer);
    }
    m_pointerPoll.stop();
    if (focus == XCB_NONE) return setFrontWindow(XCB_NONE);
    m_walk = focus;
    want(Query::Parent);
}

void X11FrontProcessWatcher::applyParent(xcb_window_t window, const xcb_query_tree_reply_t *reply) {
    // A window gone meanwhile: the focus has moved, and its events say where.
    if (!reply) return setFrontWindow(XCB_NONE);
    if (reply->parent == m_root || reply->parent == XCB_NONE) return setFrontWindow(window);
    m_walk = reply->parent;
    want(Query::Parent);
}

void X11FrontProcessWatcher::applyTopLevels(const xcb_query_tree_reply_t *reply) {
    if (!reply) return;
    const xcb_window_t *children = xcb_query_tree_children(reply);
    for (int i = 0; i < xcb_query_tree_children_length(reply); ++i) trackTopLevel(children[i]);
}

void X11FrontProcessWatcher::startDetection() {
    enterMode(Mode::Detecting);
    // Still looking: whatever was named before may no longer be in front.
    setFront(Front::UnknownProcess, QString());
    want(Query::WmCheck);
}

void X11FrontProcessWatcher::enterMode(Mode mode) {
    // The manager's check window stays watched while its manager names the active window.
    const xcb_window_t wmCheck = mode == Mode::ActiveWindow ? m_wmCheck : XCB_NONE;
    resetTracking();
    m_mode = mode;
    m_wmCheck = wmCheck;
    updateEventMask(m_root);
    updateEventMask(m_wmCheck);
    if (mode == Mode::ActiveWindow) want(Query::ActiveWindow);
    if (mode == Mode::InputFocus) {
        want(Query::TopLevels);
        want(Query::Focus);
    }
}

// Drops every event selection but the root's, and every question under way.
void X11FrontProcessWatcher::resetTracking() {
    ++m_epoch;
    m_wanted = 0;
    m_pointerPoll.stop();
    QSet<xcb_window_t> watched = m_topLevels;
    watched << m_frontWindow << m_wmCheck;
    m_mode = Mode::Idle;
    m_topLevels.clear();
    m_wmCheck = XCB_NONE;
    m_walk = XCB_NONE;
    m_frontFound = false;
    m_frontWindow = XCB_NONE;
    m_pid.reset();
    m_windowClass.clear();
    m_nameStale = false;
    for (const xcb_window_t window : watched) updateEventMask(window);
}

void X11FrontProcessWatcher::trackTopLevel(xcb_window_t window) {
    m_topLevels.insert(window);
    updateEventMask(window);
}

void X11FrontProcessWatcher::setFrontWindow(xcb_window_t window, bool reannounced) {
    if (window == m_root) window = XCB_NONE;
    if (m_frontFound && window == m_frontWindow && !reannounced) return;
    const xcb_window_t previous = m_frontWindow;
    m_frontFound = true;
    m_frontWindow = window;
    // Unless the same window is named already, start again from no name.
    if (window != previous || m_front != Front::Named) {
        updateEventMask(previous);
        m_pid.reset();
        m_windowClass.clear();
        m_wanted &= ~(bit(int(Query::ClientPid)) | bit(int(Query::WindowPid)) |
                      bit(int(Query::WindowClass)));
        // Until the new window's process is known, there is no name to act on.
        setFront(window == XCB_NONE ? Front::NoWindow : Front::UnknownProcess, QString());
    }
    if (window == XCB_NONE) return;
    // Watch first, then ask, so that a property set in between is not missed.
    updateEventMask(window);
    if (m_pidSource == PidSource::Server) want(Query::ClientPid);
    if (m_pidSource == PidSource::WindowProperty) want(Query::WindowPid);
    want(Query::WindowClass);
    m_nameStale = true;
}

quint32 X11FrontProcessWatcher::eventMaskOf(xcb_window_t window) const {
    if (window == m_root) {
        if (m_mode == Mode::Idle) return XCB_EVENT_MASK_NO_EVENT;
        if (m_mode != Mode::InputFocus) return XCB_EVENT_MASK_PROPERTY_CHANGE;
        return XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE |
               XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    }
    quint32 mask = XCB_EVENT_MASK_NO_EVENT;
    if (m_topLevels.contains(window)) mask |= XCB_EVENT_MASK_FOCUS_CHANGE;
    if (window == m_frontWindow) mask |= WatchedWindowMask;
    if (window == m_wmCheck) mask |= XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    return mask;
}

void X11FrontProcessWatcher::updateEventMask(xcb_window_t window) {
    if (window == XCB_NONE) return;
    const quint32 mask = eventMaskOf(window);
    xcb_change_window_attributes(m_connection.get(), window, XCB_CW_EVENT_MASK, &mask);
}

void X11FrontProcessWatcher::resolveName() {
    if (m_frontWindow == XCB_NONE) return;
    QString name;
    if (m_pid) name = ProcessName::ofPid(*m_pid);
    if (name.isNull()) name = m_windowClass;
    setFront(name.isNull() ? Front::UnknownProcess : Front::Named, name);
}

void X11FrontProcessWatcher::setFront(Front front, const QString &name) {
    if (front == m_front && name == m_name) return;
    m_front = front;
    m_name = name;
    emit frontProcessNameChanged(m_name);
}

void X11FrontProcessWatcher::loseConnection() {
    if (m_lost) return;
    m_lost = true;
    m_notifier->setEnabled(false);
    m_inFlight.reset();
    m_wanted = 0;
    m_pointerPoll.stop();
    m_mode = Mode::Idle;
    setFront(Front::Unwatched, QString());
    emit connectionLost();
}
