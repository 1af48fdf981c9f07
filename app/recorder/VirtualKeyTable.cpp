#include "recorder/VirtualKeyTable.h"

#include "keymap/KeyCodeTable.h"

#include <Qt>
#include <algorithm>

namespace {

struct QtKeyRow {
    uint16_t virtualCode;
    int qtKey;
    bool keypad;
};

// For key events without a scan code: the Qt key a US layout gives each position.
constexpr QtKeyRow Rows[] = {
    {0x00, Qt::Key_A, false},
    {0x01, Qt::Key_S, false},
    {0x02, Qt::Key_D, false},
    {0x03, Qt::Key_F, false},
    {0x04, Qt::Key_H, false},
    {0x05, Qt::Key_G, false},
    {0x06, Qt::Key_Z, false},
    {0x07, Qt::Key_X, false},
    {0x08, Qt::Key_C, false},
    {0x09, Qt::Key_V, false},
    {0x0A, Qt::Key_section, false},
    {0x0B, Qt::Key_B, false},
    {0x0C, Qt::Key_Q, false},
    {0x0D, Qt::Key_W, false},
    {0x0E, Qt::Key_E, false},
    {0x0F, Qt::Key_R, false},
    {0x10, Qt::Key_Y, false},
    {0x11, Qt::Key_T, false},
    {0x12, Qt::Key_1, false},
    {0x13, Qt::Key_2, false},
    {0x14, Qt::Key_3, false},
    {0x15, Qt::Key_4, false},
    {0x16, Qt::Key_6, false},
    {0x17, Qt::Key_5, false},
    {0x18, Qt::Key_Equal, false},
    {0x19, Qt::Key_9, false},
    {0x1A, Qt::Key_7, false},
    {0x1B, Qt::Key_Minus, false},
    {0x1C, Qt::Key_8, false},
    {0x1D, Qt::Key_0, false},
    {0x1E, Qt::Key_BracketRight, false},
    {0x1F, Qt::Key_O, false},
    {0x20, Qt::Key_U, false},
    {0x21, Qt::Key_BracketLeft, false},
    {0x22, Qt::Key_I, false},
    {0x23, Qt::Key_P, false},
    {0x24, Qt::Key_Return, false},
    {0x25, Qt::Key_L, false},
    {0x26, Qt::Key_J, false},
    {0x27, Qt::Key_Apostrophe, false},
    {0x28, Qt::Key_K, false},
    {0x29, Qt::Key_Semicolon, false},
    {0x2A, Qt::Key_Backslash, false},
    {0x2B, Qt::Key_Comma, false},
    {0x2C, Qt::Key_Slash, false},
    {0x2D, Qt::Key_N, false},
    {0x2E, Qt::Key_M, false},
    {0x2F, Qt::Key_Period, false},
    {0x30, Qt::Key_Tab, false},
    {0x31, Qt::Key_Space, false},
    {0x32, Qt::Key_QuoteLeft, false},
    {0x33, Qt::Key_Backspace, false},
    {0x35, Qt::Key_Escape, false},
    {0x36, Qt::Key_Super_R, false},
    {0x37, Qt::Key_Meta, false},
    {0x37, Qt::Key_Super_L, false},
    {0x38, Qt::Key_Shift, false},
    {0x39, Qt::Key_CapsLock, false},
    {0x3A, Qt::Key_Alt, false},
    {0x3B, Qt::Key_Control, false},
    {0x3D, Qt::Key_AltGr, false},
    {0x40, Qt::Key_F17, false},
    {0x41, Qt::Key_Period, true},
    {0x43, Qt::Key_Asterisk, true},
    {0x45, Qt::Key_Plus, true},
    {0x47, Qt::Key_NumLock, false},
    {0x48, Qt::Key_VolumeUp, false},
    {0x49, Qt::Key_VolumeDown, false},
    {0x4A, Qt::Key_VolumeMute, false},
    {0x4B, Qt::Key_Slash, true},
    {0x4C, Qt::Key_Enter, true},
    {0x4E, Qt::Key_Minus, true},
    {0x4F, Qt::Key_F18, false},
    {0x50, Qt::Key_F19, false},
    {0x51, Qt::Key_Equal, true},
    {0x52, Qt::Key_0, true},
    {0x53, Qt::Key_1, true},
    {0x54, Qt::Key_2, true},
    {0x55, Qt::Key_3, true},
    {0x56, Qt::Key_4, true},
    {0x57, Qt::Key_5, true},
    {0x58, Qt::Key_6, true},
    {0x59, Qt::Key_7, true},
    {0x5A, Qt::Key_F20, false},
    {0x5B, Qt::Key_8, true},
    {0x5C, Qt::Key_9, true},
    {0x5D, Qt::Key_yen, false},
    {0x5E, Qt::Key_Underscore, false},
    {0x5F, Qt::Key_Comma, true},
    {0x60, Qt::Key_F5, false},
    {0x61, Qt::Key_F6, false},
    {0x62, Qt::Key_F7, false},
    {0x63, Qt::Key_F3, false},
    {0x64, Qt::Key_F8, false},
    {0x65, Qt::Key_F9, false},
    {0x66, Qt::Key_Muhenkan, false},
    {0x67, Qt::Key_F11, false},
    {0x68, Qt::Key_Henkan, false},
    {0x69, Qt::Key_F13, false},
    {0x6A, Qt::Key_F16, false},
    {0x6B, Qt::Key_F14, false},
    {0x6D, Qt::Key_F10, false},
    {0x6E, Qt::Key_Menu, false},
    {0x6F, Qt::Key_F12, false},
    {0x71, Qt::Key_F15, false},
    {0x72, Qt::Key_Insert, false},
    {0x73, Qt::Key_Home, false},
    {0x74, Qt::Key_PageUp, false},
    {0x75, Qt::Key_Delete, false},
    {0x76, Qt::Key_F4, false},
    {0x77, Qt::Key_End, false},
    {0x78, Qt::Key_F2, false},
    {0x79, Qt::Key_PageDown, false},
    {0x7A, Qt::Key_F1, false},
    {0x7B, Qt::Key_Left, false},
    {0x7C, Qt::Key_Right, false},
    {0x7D, Qt::Key_Down, false},
    {0x7E, Qt::Key_Up, false},
};

const QString UnnamedPrefix = QStringLiteral("Key ");

// Spaces do not count in a name read back: "CapsLock" names Caps Lock as well.
QString withoutSpaces(QStringView name) { return name.toString().remove(u' '); }

}  // namespace

std::optional<uint16_t> VirtualKeyTable::fromQtKey(int qtKey, bool keypad) {
    const auto it = std::ranges::find_if(Rows, [&](const QtKeyRow &row) {
        return row.qtKey == qtKey && row.keypad == keypad;
    });
    return it == std::end(Rows) ? std::nullopt : std::optional<uint16_t>(it->virtualCode);
}

QString VirtualKeyTable::name(uint16_t virtualCode) {
    const char *name = KeyCodeTable::name(virtualCode);
    return name ? QString::fromUtf8(name) : UnnamedPrefix + QString::number(virtualCode);
}

std::optional<uint16_t> VirtualKeyTable::fromName(QStringView name) {
    const QString wanted = withoutSpaces(name);
    const auto rows = KeyCodeTable::rows();
    const auto it = std::ranges::find_if(rows, [&](const KeyCodeTable::Row &row) {
        return wanted.compare(withoutSpaces(QString::fromUtf8(row.name)), Qt::CaseInsensitive) == 0;
    });
    if (it != rows.end()) return it->virtualCode;
    const QString prefix = withoutSpaces(UnnamedPrefix);
    if (!wanted.startsWith(prefix, Qt::CaseInsensitive)) return std::nullopt;
    bool ok = false;
    const uint code = wanted.mid(prefix.size()).toUInt(&ok);
    if (!ok || code > 0xFFFF) return std::nullopt;
    return uint16_t(code);
}
