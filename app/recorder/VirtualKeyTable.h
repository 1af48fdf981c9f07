#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// What the recorder needs to know about Velmora virtual key codes beyond the key table
// (keymap/KeyCodeTable.h): the code of a Qt key (for events that carry no native scan code),
// the name to show, and which codes are modifier keys.
class VirtualKeyTable {
public:
    // `keypad` tells a keypad key (Qt::KeypadModifier) from its main-keyboard twin.
    static std::optional<uint16_t> fromQtKey(int qtKey, bool keypad);
    // "Q", "Keypad 4", "F5", "Space", "Left" ...; a key without a name is "Key <code>".
    static QString name(uint16_t virtualCode);
    // The code of a name as name() gives it, letter case and spaces aside, or "Key <code>"
    // for any code; none for anything else.
    static std::optional<uint16_t> fromName(QStringView name);
};
