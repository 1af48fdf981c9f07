#pragma once

#include <QString>

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <sys/types.h>
#include <optional>

// Reads the window properties and client records the front process watcher asks for. Every
// reader takes a reply that may be missing (the window vanished) and checks type, format and
// length, since any client may write anything into these properties.
class X11PropertyDecoder {
public:
    // _NET_ACTIVE_WINDOW: a WINDOW, or XCB_NONE.
    static xcb_window_t window(const xcb_get_property_reply_t *reply);
    // _NET_WM_PID: a CARDINAL naming a plausible process id.
    static std::optional<pid_t> pid(const xcb_get_property_reply_t *reply);
    // _NET_SUPPORTED: whether the ATOM list names atom.
    static bool containsAtom(const xcb_get_property_reply_t *reply, xcb_atom_t atom);
    // X-Resource QueryClientIds: the process id the server recorded for the client.
    static std::optional<pid_t> clientPid(const xcb_res_query_client_ids_reply_t *reply);
    // WM_CLASS: the class part of "instance\0class\0"; null when absent or empty.
    static QString windowClass(const xcb_get_property_reply_t *reply, xcb_atom_t utf8StringAtom);

private:
    static std::optional<pid_t> plausiblePid(std::optional<quint32> value);
    static std::optional<quint32> firstCardinal(const xcb_get_property_reply_t *reply,
                                                xcb_atom_t type);
};
