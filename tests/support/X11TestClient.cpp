#include "tests/support/X11TestClient.h"

#include <cstdlib>
#include <cstring>

X11TestClient::X11TestClient(const QByteArray &displayName) {
    int screenNumber = 0;
    m_connection.reset(xcb_connect(displayName.constData(), &screenNumber));
    if (!isConnected()) return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection.get()));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
    m_root = screens.data->root;
}

X11TestClient::~X11TestClient() = default;

bool X11TestClient::isConnected() const {
    return m_connection && !xcb_connection_has_error(m_connection.get());
}

xcb_atom_t X11TestClient::atom(const char *name) const {
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(m_connection.get(),
                              xcb_intern_atom(m_connection.get(), 0, uint16_t(std::strlen(name)),
                                              name),
                              nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

xcb_window_t X11TestClient::createWindow() {
    const xcb_window_t window = xcb_generate_id(m_connection.get());
    xcb_create_window(m_connection.get(), XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    sync();
    return window;
}

xcb_window_t X11TestClient::showWindow(int16_t x, xcb_window_t parent) {
    const xcb_window_t window = xcb_generate_id(m_connection.get());
    xcb_create_window(m_connection.get(), XCB_COPY_FROM_PARENT, window,
                      parent == XCB_NONE ? m_root : parent, x, 0, 100, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(m_connection.get(), window);
    sync();
    return window;
}

void X11TestClient::destroyWindow(xcb_window_t window) {
    xcb_destroy_window(m_connection.get(), window);
    sync();
}

void X11TestClient::setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                uint8_t format, const void *data, uint32_t count) {
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, window, property, type, format,
                        count, data);
    sync();
}

void X11TestClient::setPid(xcb_window_t window, uint32_t pid) {
    setProperty(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
}

void X11TestClient::setWindowClass(xcb_window_t window, const QByteArray &instanceAndClass) {
    setProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, instanceAndClass.constData(),
                uint32_t(instanceAndClass.size()));
}

void X11TestClient::activate(xcb_window_t window) {
    setProperty(m_root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, &window, 1);
}

bool X11TestClient::hasWindowManager() const {
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(m_connection.get(),
                               xcb_get_property(m_connection.get(), 0, m_root,
                                                atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW,
                                                0, 1),
                               nullptr);
    const bool announced = reply && xcb_get_property_value_length(reply) > 0;
    std::free(reply);
    return announced;
}

xcb_window_t X11TestClient::announceWindowManager() {
    const xcb_window_t check = createWindow();
    const xcb_atom_t checkAtom = atom("_NET_SUPPORTING_WM_CHECK");
    setProperty(check, checkAtom, XCB_ATOM_WINDOW, 32, &check, 1);
    const xcb_atom_t supported = atom("_NET_ACTIVE_WINDOW");
    setProperty(m_root, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 32, &supported, 1);
    setProperty(m_root, checkAtom, XCB_ATOM_WINDOW, 32, &check, 1);
    return check;
}

void X11TestClient::requestActivation(xcb_window_t window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = 2;  // from a pager, which managers obey
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_connection.get(), 0, m_root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    sync();
}

void X11TestClient::focus(xcb_window_t window) {
    xcb_set_input_focus(m_connection.get(), XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    sync();
}

void X11TestClient::movePointerInto(xcb_window_t window) {
    xcb_warp_pointer(m_connection.get(), XCB_NONE, window, 0, 0, 0, 0, 5, 5);
    sync();
}

xcb_window_t X11TestClient::findWindow(const QByteArray &title, xcb_window_t under) {
    xcb_connection_t *c = m_connection.get();
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, under == XCB_NONE ? m_root : under), nullptr);
    if (!tree) return XCB_NONE;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    xcb_window_t found = XCB_NONE;
    for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_NONE; ++i) {
        xcb_get_property_reply_t *name =
            xcb_get_property_reply(c,
                                   xcb_get_property(c, 0, children[i], XCB_ATOM_WM_NAME,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                                   nullptr);
        if (name && QByteArray(static_cast<const char *>(xcb_get_property_value(name)),
                               xcb_get_property_value_length(name)) == title)
            found = children[i];
        std::free(name);
        if (found == XCB_NONE) found = findWindow(title, children[i]);
    }
    std::free(tree);
    return found;
}

void X11TestClient::sync() {
    std::free(xcb_get_input_focus_reply(m_connection.get(), xcb_get_input_focus(m_connection.get()),
                                        nullptr));
}
