#include "tests/vm/desktop/X11KeyLog.h"

// xcb's header of the keyboard extension names a member "explicit", a word C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void *memory) const { std::free(memory); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// The modifier bit that NumLock locks in every layout X ships.
constexpr uint16_t NumLockMask = XCB_MOD_MASK_2;

}  // namespace

X11KeyLog::X11KeyLog(const QByteArray &displayName) {
    int screenNumber = 0;
    m_connection = xcb_connect(displayName.constData(), &screenNumber);
    if (xcb_connection_has_error(m_connection)) return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
    m_root = screens.data->root;
    if (!xkb_x11_setup_xkb_extension(m_connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                     nullptr, nullptr))
        return;
    m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    m_keymap = xkb_x11_keymap_new_from_device(m_context, m_connection,
                                              xkb_x11_get_core_keyboard_device_id(m_connection),
                                              XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!m_keymap) return;
    createWindow();
    m_state = xkb_state_new(m_keymap);
}

X11KeyLog::~X11KeyLog() {
    xkb_state_unref(m_state);
    xkb_keymap_unref(m_keymap);
    xkb_context_unref(m_context);
    xcb_disconnect(m_connection);
}

void X11KeyLog::createWindow() {
    m_window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_root, 400, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    static constexpr char name[] = "Velmora key log";
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, sizeof(name) - 1, name);
    const uint32_t pid = uint32_t(getpid());
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, atom("_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_map_window(m_connection, m_window);
    xcb_flush(m_connection);
}

xcb_atom_t X11KeyLog::atom(const char *name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(m_connection,
                              xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name),
                              nullptr));
    return reply ? reply->atom : XCB_NONE;
}

QByteArray X11KeyLog::property(xcb_window_t window, xcb_atom_t property) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 0, window, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                               nullptr));
    if (!reply) return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

xcb_window_t X11KeyLog::windowNamed(const QByteArray &name) {
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr));
    if (!tree) return XCB_NONE;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        if (property(children[i], XCB_ATOM_WM_NAME) == name) return children[i];
    return XCB_NONE;
}

void X11KeyLog::bringToFront(xcb_window_t window) {
    xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    const xcb_atom_t protocols = atom("WM_PROTOCOLS");
    const xcb_atom_t takeFocus = atom("WM_TAKE_FOCUS");
    const QByteArray offered = property(window, protocols);
    const auto *atoms = reinterpret_cast<const xcb_atom_t *>(offered.constData());
    if (std::find(atoms, atoms + offered.size() / sizeof(xcb_atom_t), takeFocus) !=
        atoms + offered.size() / sizeof(xcb_atom_t)) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = protocols;
        message.data.data32[0] = takeFocus;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&message));
    }
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_ACTIVE_WINDOW"),
                        XCB_ATOM_WINDOW, 32, 1, &window);
    xcb_flush(m_connection);
}

void X11KeyLog::drain() {
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS)
            onKeyPress(*reinterpret_cast<const xcb_key_press_event_t *>(event));
        std::free(event);
    }
}

void X11KeyLog::onKeyPress(const xcb_key_press_event_t &event) {
    // The event carries the modifiers and group in force, locks included.
    xkb_state_update_mask(m_state, event.state & 0xff, 0, 0, 0, 0, (event.state >> 13) & 3);
    char name[64] = {};
    xkb_keysym_get_name(xkb_state_key_get_one_sym(m_state, event.detail), name, sizeof(name));
    m_pressed << QString::fromLatin1(name);
    char text[16] = {};
    xkb_state_key_get_utf8(m_state, event.detail, text, sizeof(text));
    m_text += text;
}

void X11KeyLog::clear() {
    drain();
    m_pressed.clear();
    m_text.clear();
}

bool X11KeyLog::numLock() {
    Reply<xcb_xkb_get_state_reply_t> reply(
        xcb_xkb_get_state_reply(m_connection,
                                xcb_xkb_get_state(m_connection, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    return reply && (reply->lockedMods & NumLockMask);
}

QList<int> X11KeyLog::keysDown() {
    Reply<xcb_query_keymap_reply_t> reply(
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr));
    QList<int> down;
    for (int code = 0; reply && code < 256; ++code)
        if (reply->keys[code / 8] & (1u << (code % 8))) down << code;
    return down;
}
