#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <xcb/xcb.h>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

// The person's other application on the test desktop, and the little a window manager does
// there: a window that logs the key presses X delivers to it, as keysyms and as the text they type,
// and the moves that put a window in front. Also tells what X itself holds: its NumLock and
// the keys it has down.
class X11KeyLog {
public:
    explicit X11KeyLog(const QByteArray &displayName);
    ~X11KeyLog();
    X11KeyLog(const X11KeyLog &) = delete;
    X11KeyLog &operator=(const X11KeyLog &) = delete;

    // Connected, with the keyboard extension and a window.
    bool isReady() const { return m_state != nullptr; }
    xcb_window_t window() const { return m_window; }
    // The top-level window of that name, or XCB_NONE.
    xcb_window_t windowNamed(const QByteArray &name);
    // Gives the window the focus, offers it WM_TAKE_FOCUS when it asks for that, and names it
    // the active window on the root.
    void bringToFront(xcb_window_t window);

    // Reads the key events that have arrived for our window.
    void drain();
    void clear();
    // Keysym names of the presses, in order.
    const QStringList &pressed() const { return m_pressed; }
    // What the presses typed, UTF-8.
    const QByteArray &text() const { return m_text; }

    bool numLock();
    // Key codes X has down, from any keyboard.
    QList<int> keysDown();

private:
    void createWindow();
    xcb_atom_t atom(const char *name);
    QByteArray property(xcb_window_t window, xcb_atom_t property);
    void onKeyPress(const xcb_key_press_event_t &event);

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_window_t m_window = XCB_NONE;
    xkb_context *m_context = nullptr;
    xkb_keymap *m_keymap = nullptr;
    xkb_state *m_state = nullptr;
    QStringList m_pressed;
    QByteArray m_text;
};
