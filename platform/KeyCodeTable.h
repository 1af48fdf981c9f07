#pragma once

#include <cstdint>
#include <optional>

// Translates this platform's key codes to and from Velmora virtual key codes, which
// number keys the way the remapping and stored combinations do (A = 0, Q = 12,
// keypad 1 = 83 ...). A key without an entry has no translation and is passed through
// untouched by the tap. The platform answers it: on Linux the native code is the evdev
// code (linux/KeyCodeTable.cpp).
class KeyCodeTable {
public:
    static std::optional<uint16_t> virtualFromNative(uint16_t nativeCode);
    static std::optional<uint16_t> nativeFromVirtual(uint16_t virtualCode);
    // The scan code the windowing system puts in a key event (QKeyEvent::nativeScanCode).
    static std::optional<uint16_t> virtualFromScanCode(uint32_t scanCode);
};
