#pragma once

#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

// Plays the other clients of an X server in tests: makes windows, writes their properties,
// moves the focus and the pointer and, as a window manager would, names the active window on
// the root; or asks the desktop's own window manager to activate a window.
class X11TestClient {
public:
    explicit X11TestClient(const QByteArray &displayName);
    ~X11TestClient();
    X11TestClient(const X11TestClient &) = delete;
    X11TestClient &operator=(const X11TestClient &) = delete;

    bool isConnected() const;
    xcb_window_t root() const { return m_root; }
    xcb_atom_t atom(const char *name) const;

    xcb_window_t createWindow();
    // A mapped 100x100 window at (x, 0) in parent (the root if none), which can take the focus
    // and the pointer.
    xcb_window_t showWindow(int16_t x, xcb_window_t parent = XCB_NONE);
    void destroyWindow(xcb_window_t window);
    // Writes raw property data: count items of the given format (8, 16 or 32 bits).
    void setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint8_t format,
                     const void *data, uint32_t count);
    void setPid(xcb_window_t window, uint32_t pid);
    // "instance\0class\0" as a STRING.
    void setWindowClass(xcb_window_t window, const QByteArray &instanceAndClass);
    void activate(xcb_window_t window);
    // Whether an EWMH window manager has announced itself.
    bool hasWindowManager() const;
    // Announces an EWMH window manager that sets _NET_ACTIVE_WINDOW; returns its check window.
    xcb_window_t announceWindowManager();
    // Asks the running window manager to activate the window, as a pager does.
    void requestActivation(xcb_window_t window);
    // XCB_INPUT_FOCUS_POINTER_ROOT lets the focus follow the pointer.
    void focus(xcb_window_t window);
    void movePointerInto(xcb_window_t window);
    // The first window titled so (WM_NAME), searched depth first; XCB_NONE if there is none.
    xcb_window_t findWindow(const QByteArray &title, xcb_window_t under = XCB_NONE);
    // Returns once the server has handled everything sent so far.
    void sync();

private:
    struct ConnectionCloser {
        void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
    };
    std::unique_ptr<xcb_connection_t, ConnectionCloser> m_connection;
    xcb_window_t m_root = XCB_NONE;
};
