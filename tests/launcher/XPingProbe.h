#pragma once

#include <QString>

#include <xcb/xcb.h>

// Asks an X11 client whether it is alive the way desktops do: a _NET_WM_PING to its window,
// which a client whose event loop runs sends back to the root window.
class XPingProbe {
public:
    explicit XPingProbe(const QString &display);
    ~XPingProbe();
    XPingProbe(const XPingProbe &) = delete;
    XPingProbe &operator=(const XPingProbe &) = delete;

    bool isConnected() const { return m_connection && !xcb_connection_has_error(m_connection); }
    // A mapped top-level window that announces the process id (_NET_WM_PID), or XCB_NONE.
    xcb_window_t findWindowOf(qint64 pid);
    // Whether the window's client answers a ping within the time allowed.
    bool ping(xcb_window_t window, int timeoutMs);

private:
    xcb_atom_t atom(const char *name);
    bool isMapped(xcb_window_t window);
    qint64 ownerPid(xcb_window_t window);
    bool awaitPingReply(xcb_timestamp_t stamp, int timeoutMs);

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_protocols = XCB_NONE;
    xcb_atom_t m_ping = XCB_NONE;
    xcb_atom_t m_pid = XCB_NONE;
    xcb_timestamp_t m_nextStamp = 1;
};
