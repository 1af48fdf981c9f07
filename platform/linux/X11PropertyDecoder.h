#pragma once

#include <QString>

#include <xcb/xcb.h>

#include <sys/types.h>
#include <optional>

// Reads the window properties the front process watcher asks for. Every reader takes a
// reply that may be missing (the window vanished) and checks type, format and length, since
// any client may write anything into these properties.
class X11PropertyDecoder {
public:
    // _NET_ACTIVE_WINDOW: a WINDOW, or XCB_NONE.
    static xcb_window_t window(const xcb_get_property_reply_t *reply);
    // _NET_WM_PID: a CARDINAL naming a plausible process id.
    static std::optional<pid_t> pid(const xcb_get_property_reply_t *reply);
    // WM_CLASS: the class part of "instance\0class\0"; null when absent or empty.
    static QString windowClass(const xcb_get_property_reply_t *reply, xcb_atom_t utf8StringAtom);

private:
    static std::optional<quint32> firstCardinal(const xcb_get_property_reply_t *reply,
                                                xcb_atom_t type);
};
