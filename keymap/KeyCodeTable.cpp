#include "keymap/KeyCodeTable.h"

#include <linux/input-event-codes.h>

#include <array>

namespace {

constexpr uint16_t NoRow = 0xFFFF;

// In virtual code order. Names follow a US layout; the code is the key's position, not its
// character.
constexpr KeyCodeTable::Row Rows[] = {
    {KEY_A, 0x00, "A"},
    {KEY_S, 0x01, "S"},
    {KEY_D, 0x02, "D"},
    {KEY_F, 0x03, "F"},
    {KEY_H, 0x04, "H"},
    {KEY_G, 0x05, "G"},
    {KEY_Z, 0x06, "Z"},
    {KEY_X, 0x07, "X"},
    {KEY_C, 0x08, "C"},
    {KEY_V, 0x09, "V"},
    {KEY_102ND, 0x0A, "§"},
    {KEY_B, 0x0B, "B"},
    {KEY_Q, 0x0C, "Q"},
    {KEY_W, 0x0D, "W"},
    {KEY_E, 0x0E, "E"},
    {KEY_R, 0x0F, "R"},
    {KEY_Y, 0x10, "Y"},
    {KEY_T, 0x11, "T"},
    {KEY_1, 0x12, "1"},
    {KEY_2, 0x13, "2"},
    {KEY_3, 0x14, "3"},
    {KEY_4, 0x15, "4"},
    {KEY_6, 0x16, "6"},
    {KEY_5, 0x17, "5"},
    {KEY_EQUAL, 0x18, "="},
    {KEY_9, 0x19, "9"},
    {KEY_7, 0x1A, "7"},
    {KEY_MINUS, 0x1B, "-"},
    {KEY_8, 0x1C, "8"},
    {KEY_0, 0x1D, "0"},
    {KEY_RIGHTBRACE, 0x1E, "]"},
    {KEY_O, 0x1F, "O"},
    {KEY_U, 0x20, "U"},
    {KEY_LEFTBRACE, 0x21, "["},
    {KEY_I, 0x22, "I"},
    {KEY_P, 0x23, "P"},
    {KEY_ENTER, 0x24, "Return"},
    {KEY_L, 0x25, "L"},
    {KEY_J, 0x26, "J"},
    {KEY_APOSTROPHE, 0x27, "'"},
    {KEY_K, 0x28, "K"},
    {KEY_SEMICOLON, 0x29, ";"},
    {KEY_BACKSLASH, 0x2A, "\\"},
    {KEY_COMMA, 0x2B, ","},
    {KEY_SLASH, 0x2C, "/"},
    {KEY_N, 0x2D, "N"},
    {KEY_M, 0x2E, "M"},
    {KEY_DOT, 0x2F, "."},
    {KEY_TAB, 0x30, "Tab"},
    {KEY_SPACE, 0x31, "Space"},
    {KEY_GRAVE, 0x32, "`"},
    {KEY_BACKSPACE, 0x33, "Backspace"},
    {KEY_ESC, 0x35, "Escape"},
    {KEY_RIGHTMETA, 0x36, "Right Super"},
    {KEY_LEFTMETA, 0x37, "Super"},
    {KEY_LEFTSHIFT, 0x38, "Shift"},
    {KEY_CAPSLOCK, 0x39, "Caps Lock"},
    {KEY_LEFTALT, 0x3A, "Alt"},
    {KEY_LEFTCTRL, 0x3B, "Control"},
    {KEY_RIGHTSHIFT, 0x3C, "Right Shift"},
    {KEY_RIGHTALT, 0x3D, "Right Alt"},
    {KEY_RIGHTCTRL, 0x3E, "Right Control"},
    {KEY_FN, 0x3F, "Fn"},
    {KEY_F17, 0x40, "F17"},
    {KEY_KPDOT, 0x41, "Keypad ."},
    {KEY_KPASTERISK, 0x43, "Keypad *"},
    {KEY_KPPLUS, 0x45, "Keypad +"},
    {KEY_NUMLOCK, 0x47, "Num Lock"},
    {KEY_VOLUMEUP, 0x48, "Volume Up"},
    {KEY_VOLUMEDOWN, 0x49, "Volume Down"},
    {KEY_MUTE, 0x4A, "Mute"},
    {KEY_KPSLASH, 0x4B, "Keypad /"},
    {KEY_KPENTER, 0x4C, "Keypad Enter"},
    {KEY_KPMINUS, 0x4E, "Keypad -"},
    {KEY_F18, 0x4F, "F18"},
    {KEY_F19, 0x50, "F19"},
    {KEY_KPEQUAL, 0x51, "Keypad ="},
    {KEY_KP0, 0x52, "Keypad 0"},
    {KEY_KP1, 0x53, "Keypad 1"},
    {KEY_KP2, 0x54, "Keypad 2"},
    {KEY_KP3, 0x55, "Keypad 3"},
    {KEY_KP4, 0x56, "Keypad 4"},
    {KEY_KP5, 0x57, "Keypad 5"},
    {KEY_KP6, 0x58, "Keypad 6"},
    {KEY_KP7, 0x59, "Keypad 7"},
    {KEY_F20, 0x5A, "F20"},
    {KEY_KP8, 0x5B, "Keypad 8"},
    {KEY_KP9, 0x5C, "Keypad 9"},
    {KEY_YEN, 0x5D, "¥"},
    {KEY_RO, 0x5E, "_"},
    {KEY_KPJPCOMMA, 0x5F, "Keypad ,"},
    {KEY_F5, 0x60, "F5"},
    {KEY_F6, 0x61, "F6"},
    {KEY_F7, 0x62, "F7"},
    {KEY_F3, 0x63, "F3"},
    {KEY_F8, 0x64, "F8"},
    {KEY_F9, 0x65, "F9"},
    {KEY_MUHENKAN, 0x66, "Muhenkan"},
    {KEY_F11, 0x67, "F11"},
    {KEY_HENKAN, 0x68, "Henkan"},
    {KEY_F13, 0x69, "F13"},
    {KEY_F16, 0x6A, "F16"},
    {KEY_F14, 0x6B, "F14"},
    {KEY_F10, 0x6D, "F10"},
    {KEY_COMPOSE, 0x6E, "Menu"},
    {KEY_F12, 0x6F, "F12"},
    {KEY_F15, 0x71, "F15"},
    {KEY_INSERT, 0x72, "Insert"},
    {KEY_HOME, 0x73, "Home"},
    {KEY_PAGEUP, 0x74, "Page Up"},
    {KEY_DELETE, 0x75, "Delete"},
    {KEY_F4, 0x76, "F4"},
    {KEY_END, 0x77, "End"},
    {KEY_F2, 0x78, "F2"},
    {KEY_PAGEDOWN, 0x79, "Page Down"},
    {KEY_F1, 0x7A, "F1"},
    {KEY_LEFT, 0x7B, "Left"},
    {KEY_RIGHT, 0x7C, "Right"},
    {KEY_DOWN, 0x7D, "Down"},
    {KEY_UP, 0x7E, "Up"},
};

constexpr size_t EvdevRange = KEY_MAX + 1;
constexpr size_t VirtualRange = 0x80;

// Row indexes by evdev and by virtual code.
struct Index {
    std::array<uint16_t, EvdevRange> byEvdev{};
    std::array<uint16_t, VirtualRange> byVirtual{};
};

constexpr Index buildIndex() {
    Index index;
    index.byEvdev.fill(NoRow);
    index.byVirtual.fill(NoRow);
    for (uint16_t row = 0; row < std::size(Rows); ++row) {
        index.byEvdev[Rows[row].evdevCode] = row;
        index.byVirtual[Rows[row].virtualCode] = row;
    }
    return index;
}

constexpr Index TheIndex = buildIndex();

const KeyCodeTable::Row *rowOfVirtual(uint16_t virtualCode) {
    if (virtualCode >= VirtualRange || TheIndex.byVirtual[virtualCode] == NoRow) return nullptr;
    return &Rows[TheIndex.byVirtual[virtualCode]];
}

}  // namespace

std::span<const KeyCodeTable::Row> KeyCodeTable::rows() { return Rows; }

std::optional<uint16_t> KeyCodeTable::virtualFromNative(uint16_t evdevCode) {
    if (evdevCode >= EvdevRange || TheIndex.byEvdev[evdevCode] == NoRow) return std::nullopt;
    return Rows[TheIndex.byEvdev[evdevCode]].virtualCode;
}

std::optional<uint16_t> KeyCodeTable::nativeFromVirtual(uint16_t virtualCode) {
    const Row *row = rowOfVirtual(virtualCode);
    return row ? std::optional<uint16_t>(row->evdevCode) : std::nullopt;
}

std::optional<uint16_t> KeyCodeTable::virtualFromScanCode(uint32_t scanCode) {
    // X11 and Wayland report the evdev code plus 8.
    constexpr uint32_t EvdevScanCodeOffset = 8;
    if (scanCode <= EvdevScanCodeOffset || scanCode - EvdevScanCodeOffset >= EvdevRange)
        return std::nullopt;
    return virtualFromNative(uint16_t(scanCode - EvdevScanCodeOffset));
}

const char *KeyCodeTable::name(uint16_t virtualCode) {
    const Row *row = rowOfVirtual(virtualCode);
    return row ? row->name : nullptr;
}
