#pragma once

#include <cstdint>
#include <optional>

// Translates Linux evdev key codes (linux/input-event-codes.h) to and from Velmora
// virtual key codes, which number keys the way the remapping and stored combinations
// do (A = 0, Q = 12, keypad 1 = 83 ...). A key without an entry has no translation and
// is passed through untouched by the tap.
class KeyCodeTable {
public:
    static std::optional<uint16_t> virtualFromEvdev(uint16_t evdevCode);
    static std::optional<uint16_t> evdevFromVirtual(uint16_t virtualCode);
};
