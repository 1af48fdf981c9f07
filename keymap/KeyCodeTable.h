#pragma once

#include <cstdint>
#include <optional>
#include <span>

// Velmora virtual key codes, which number keys the way the remapping and stored combinations
// do (A = 0, Q = 12, keypad 1 = 83 ...), with the Linux evdev code and the name of each key
// that has one: the one table the tap translates through and the recorder names keys from. A
// key without a row has no translation and is passed through the tap untouched.
class KeyCodeTable {
public:
    struct Row {
        uint16_t evdevCode;
        uint16_t virtualCode;
        // As Linux desktops write it, for a US layout: "Q", "Keypad 4", "Page Up".
        const char *name;
    };

    static std::span<const Row> rows();
    static std::optional<uint16_t> virtualFromNative(uint16_t evdevCode);
    static std::optional<uint16_t> nativeFromVirtual(uint16_t virtualCode);
    // The scan code the windowing system puts in a key event (QKeyEvent::nativeScanCode).
    static std::optional<uint16_t> virtualFromScanCode(uint32_t scanCode);
    // The name of a key with a row; null for any other code.
    static const char *name(uint16_t virtualCode);
};
