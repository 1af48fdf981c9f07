#include "tests/launcher/XPingProbe.h"

#include <QDeadlineTimer>

#include <poll.h>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T *reply) {
    return {reply, &std::free};
}

}  // namespace

XPingProbe::XPingProbe(const QString &display) {
    int screenNumber = 0;
    m_connection = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
    if (!isConnected()) return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
    m_root = screens.data->root;
    // Clients send their replies to the root window, some with (sub)structure-notify in the mask.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    m_protocols = atom("WM_PROTOCOLS");
    m_ping = atom("_NET_WM_PING");
    m_pid = atom("_NET_WM_PID");
}

XPingProbe::~XPingProbe() {
    if (m_connection) xcb_disconnect(m_connection);
}

xcb_atom_t XPingProbe::atom(const char *name) {
    const auto reply =
        owned(xcb_intern_atom_reply(m_connection,
                                    xcb_intern_atom(m_connection, 0,
                                                    static_cast<uint16_t>(std::strlen(name)), name),
                                    nullptr));
    return reply ? reply->atom : XCB_NONE;
}

bool XPingProbe::isMapped(xcb_window_t window) {
    const auto reply = owned(
        xcb_get_window_attributes_reply(m_connection,
                                        xcb_get_window_attributes(m_connection, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

qint64 XPingProbe::ownerPid(xcb_window_t window) {
    const auto reply = owned(xcb_get_property_reply(m_connection,
                                                    xcb_get_property(m_connection, 0, window, m_pid,
                                                                     XCB_ATOM_CARDINAL, 0, 1),
                                                    nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) != 4) return -1;
    return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
}

xcb_window_t XPingProbe::findWindowOf(qint64 pid) {
    if (!isConnected()) return XCB_NONE;
    const auto tree =
        owned(xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr));
    if (!tree) return XCB_NONE;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        if (ownerPid(children[i]) == pid && isMapped(children[i])) return children[i];
    return XCB_NONE;
}

bool XPingProbe::ping(xcb_window_t window, int timeoutMs) {
    if (!isConnected()) return false;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = m_protocols;
    message.data.data32[0] = m_ping;
    message.data.data32[1] = m_nextStamp++;
    message.data.data32[2] = window;
    xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(m_connection);
    return awaitPingReply(message.data.data32[1], timeoutMs);
}

bool XPingProbe::awaitPingReply(xcb_timestamp_t stamp, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (const auto event = owned(xcb_poll_for_event(m_connection))) {
            if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) continue;
            const auto *reply = reinterpret_cast<const xcb_client_message_event_t *>(event.get());
            if (reply->type == m_protocols && reply->data.data32[0] == m_ping &&
                reply->data.data32[1] == stamp)
                return true;
        }
        pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(deadline.remainingTime()));
    }
    return false;
}
