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

void X11TestClient::sync() {
    std::free(xcb_get_input_focus_reply(m_connection.get(), xcb_get_input_focus(m_connection.get()),
                                        nullptr));
}
