#pragma once

#include <cstdint>

// How evdev keys contribute to the modifier word a key event carries.
class ModifierWord {
public:
    // Keys whose presses only change modifier state and never reach the callback.
    static bool isModifierKey(uint16_t evdevCode);
    // Bits a held modifier key sets: its device-independent bit and its
    // device-dependent side bit. Zero for other keys.
    static uint64_t heldBits(uint16_t evdevCode);
    // Bits a key's own events carry whatever is held (keypad, arrows, function keys).
    static uint64_t keyClassBits(uint16_t evdevCode);
};
