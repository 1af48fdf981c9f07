#include "remap/VirtualKeyTable.h"

#include <Qt>
#include <algorithm>

namespace {

struct KeyRow {
    uint16_t virtualCode;
    int qtKey;
    bool keypad;
    const char *name;
};

// Names follow a US layout; the recorded code is the key's position, not its character.
constexpr KeyRow Rows[] = {
    {0x00, Qt::Key_A, false, "A"},
    {0x01, Qt::Key_S, false, "S"},
    {0x02, Qt::Key_D, false, "D"},
    {0x03, Qt::Key_F, false, "F"},
    {0x04, Qt::Key_H, false, "H"},
    {0x05, Qt::Key_G, false, "G"},
    {0x06, Qt::Key_Z, false, "Z"},
    {0x07, Qt::Key_X, false, "X"},
    {0x08, Qt::Key_C, false, "C"},
    {0x09, Qt::Key_V, false, "V"},
    {0x0A, Qt::Key_section, false, "§"},
    {0x0B, Qt::Key_B, false, "B"},
    {0x0C, Qt::Key_Q, false, "Q"},
    {0x0D, Qt::Key_W, false, "W"},
    {0x0E, Qt::Key_E, false, "E"},
    {0x0F, Qt::Key_R, false, "R"},
    {0x10, Qt::Key_Y, false, "Y"},
    {0x11, Qt::Key_T, false, "T"},
    {0x12, Qt::Key_1, false, "1"},
    {0x13, Qt::Key_2, false, "2"},
    {0x14, Qt::Key_3, false, "3"},
    {0x15, Qt::Key_4, false, "4"},
    {0x16, Qt::Key_6, false, "6"},
    {0x17, Qt::Key_5, false, "5"},
    {0x18, Qt::Key_Equal, false, "="},
    {0x19, Qt::Key_9, false, "9"},
    {0x1A, Qt::Key_7, false, "7"},
    {0x1B, Qt::Key_Minus, false, "-"},
    {0x1C, Qt::Key_8, false, "8"},
    {0x1D, Qt::Key_0, false, "0"},
    {0x1E, Qt::Key_BracketRight, false, "]"},
    {0x1F, Qt::Key_O, false, "O"},
    {0x20, Qt::Key_U, false, "U"},
    {0x21, Qt::Key_BracketLeft, false, "["},
    {0x22, Qt::Key_I, false, "I"},
    {0x23, Qt::Key_P, false, "P"},
    {0x24, Qt::Key_Return, false, "Return"},
    {0x25, Qt::Key_L, false, "L"},
    {0x26, Qt::Key_J, false, "J"},
    {0x27, Qt::Key_Apostrophe, false, "'"},
    {0x28, Qt::Key_K, false, "K"},
    {0x29, Qt::Key_Semicolon, false, ";"},
    {0x2A, Qt::Key_Backslash, false, "\\"},
    {0x2B, Qt::Key_Comma, false, ","},
    {0x2C, Qt::Key_Slash, false, "/"},
    {0x2D, Qt::Key_N, false, "N"},
    {0x2E, Qt::Key_M, false, "M"},
    {0x2F, Qt::Key_Period, false, "."},
    {0x30, Qt::Key_Tab, false, "Tab"},
    {0x31, Qt::Key_Space, false, "Space"},
    {0x32, Qt::Key_QuoteLeft, false, "`"},
    {0x33, Qt::Key_Backspace, false, "Backspace"},
    {0x35, Qt::Key_Escape, false, "Escape"},
    {0x36, Qt::Key_Super_R, false, "Right Super"},
    {0x37, Qt::Key_Meta, false, "Super"},
    {0x37, Qt::Key_Super_L, false, "Super"},
    {0x38, Qt::Key_Shift, false, "Shift"},
    {0x39, Qt::Key_CapsLock, false, "Caps Lock"},
    {0x3A, Qt::Key_Alt, false, "Alt"},
    {0x3B, Qt::Key_Control, false, "Control"},
    {0x3C, -1, false, "Right Shift"},
    {0x3D, Qt::Key_AltGr, false, "Right Alt"},
    {0x3E, -1, false, "Right Control"},
    {0x3F, -1, false, "Fn"},
    {0x40, Qt::Key_F17, false, "F17"},
    {0x41, Qt::Key_Period, true, "Keypad ."},
    {0x43, Qt::Key_Asterisk, true, "Keypad *"},
    {0x45, Qt::Key_Plus, true, "Keypad +"},
    {0x47, Qt::Key_NumLock, false, "Num Lock"},
    {0x48, Qt::Key_VolumeUp, false, "Volume Up"},
    {0x49, Qt::Key_VolumeDown, false, "Volume Down"},
    {0x4A, Qt::Key_VolumeMute, false, "Mute"},
    {0x4B, Qt::Key_Slash, true, "Keypad /"},
    {0x4C, Qt::Key_Enter, true, "Keypad Enter"},
    {0x4E, Qt::Key_Minus, true, "Keypad -"},
    {0x4F, Qt::Key_F18, false, "F18"},
    {0x50, Qt::Key_F19, false, "F19"},
    {0x51, Qt::Key_Equal, true, "Keypad ="},
    {0x52, Qt::Key_0, true, "Keypad 0"},
    {0x53, Qt::Key_1, true, "Keypad 1"},
    {0x54, Qt::Key_2, true, "Keypad 2"},
    {0x55, Qt::Key_3, true, "Keypad 3"},
    {0x56, Qt::Key_4, true, "Keypad 4"},
    {0x57, Qt::Key_5, true, "Keypad 5"},
    {0x58, Qt::Key_6, true, "Keypad 6"},
    {0x59, Qt::Key_7, true, "Keypad 7"},
    {0x5A, Qt::Key_F20, false, "F20"},
    {0x5B, Qt::Key_8, true, "Keypad 8"},
    {0x5C, Qt::Key_9, true, "Keypad 9"},
    {0x5D, Qt::Key_yen, false, "¥"},
    {0x5E, Qt::Key_Underscore, false, "_"},
    {0x5F, Qt::Key_Comma, true, "Keypad ,"},
    {0x60, Qt::Key_F5, false, "F5"},
    {0x61, Qt::Key_F6, false, "F6"},
    {0x62, Qt::Key_F7, false, "F7"},
    {0x63, Qt::Key_F3, false, "F3"},
    {0x64, Qt::Key_F8, false, "F8"},
    {0x65, Qt::Key_F9, false, "F9"},
    {0x66, Qt::Key_Muhenkan, false, "Muhenkan"},
    {0x67, Qt::Key_F11, false, "F11"},
    {0x68, Qt::Key_Henkan, false, "Henkan"},
    {0x69, Qt::Key_F13, false, "F13"},
    {0x6A, Qt::Key_F16, false, "F16"},
    {0x6B, Qt::Key_F14, false, "F14"},
    {0x6D, Qt::Key_F10, false, "F10"},
    {0x6E, Qt::Key_Menu, false, "Menu"},
    {0x6F, Qt::Key_F12, false, "F12"},
    {0x71, Qt::Key_F15, false, "F15"},
    {0x72, Qt::Key_Insert, false, "Insert"},
    {0x73, Qt::Key_Home, false, "Home"},
    {0x74, Qt::Key_PageUp, false, "Page Up"},
    {0x75, Qt::Key_Delete, false, "Delete"},
    {0x76, Qt::Key_F4, false, "F4"},
    {0x77, Qt::Key_End, false, "End"},
    {0x78, Qt::Key_F2, false, "F2"},
    {0x79, Qt::Key_PageDown, false, "Page Down"},
    {0x7A, Qt::Key_F1, false, "F1"},
    {0x7B, Qt::Key_Left, false, "Left"},
    {0x7C, Qt::Key_Right, false, "Right"},
    {0x7D, Qt::Key_Down, false, "Down"},
    {0x7E, Qt::Key_Up, false, "Up"},
};

const KeyRow *findRow(uint16_t virtualCode) {
    const auto it = std::ranges::find(Rows, virtualCode, &KeyRow::virtualCode);
    return it == std::end(Rows) ? nullptr : it;
}

const QString UnnamedPrefix = QStringLiteral("Key ");

// Spaces do not count in a name read back: "CapsLock" names Caps Lock as well.
QString withoutSpaces(QStringView name) { return name.toString().remove(u' '); }

}  // namespace

std::optional<uint16_t> VirtualKeyTable::fromQtKey(int qtKey, bool keypad) {
    const auto it = std::ranges::find_if(Rows, [&](const KeyRow &row) {
        return row.qtKey == qtKey && row.keypad == keypad;
    });
    return it == std::end(Rows) ? std::nullopt : std::optional<uint16_t>(it->virtualCode);
}

QString VirtualKeyTable::name(uint16_t virtualCode) {
    const KeyRow *row = findRow(virtualCode);
    return row ? QString::fromUtf8(row->name) : UnnamedPrefix + QString::number(virtualCode);
}

std::optional<uint16_t> VirtualKeyTable::fromName(QStringView name) {
    const QString wanted = withoutSpaces(name);
    const auto it = std::ranges::find_if(Rows, [&](const KeyRow &row) {
        return wanted.compare(withoutSpaces(QString::fromUtf8(row.name)), Qt::CaseInsensitive) == 0;
    });
    if (it != std::end(Rows)) return it->virtualCode;
    const QString prefix = withoutSpaces(UnnamedPrefix);
    if (!wanted.startsWith(prefix, Qt::CaseInsensitive)) return std::nullopt;
    bool ok = false;
    const uint code = wanted.mid(prefix.size()).toUInt(&ok);
    if (!ok || code > 0xFFFF) return std::nullopt;
    return uint16_t(code);
}

bool VirtualKeyTable::isModifierKey(uint16_t virtualCode) {
    return virtualCode >= 0x36 && virtualCode <= 0x3F;
}
