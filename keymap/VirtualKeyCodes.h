#pragma once

#include <cstdint>

// The event types and key codes the decision, the chat pause and the recorder name. Key codes
// are Velmora's virtual codes (KeyCodeTable maps them to evdev and names).

// Key down and key up, the event types the decision remaps.
inline constexpr uint32_t KeyDownEvent = 10;
inline constexpr uint32_t KeyUpEvent = 11;

inline constexpr uint16_t EscapeKeyCode = 0x35;

// Super, Shift, Caps Lock, Alt, Control and Fn, left and right, fill one run of codes.
inline constexpr uint16_t FirstModifierKeyCode = 0x36;
inline constexpr uint16_t LastModifierKeyCode = 0x3F;

constexpr bool isModifierKeyCode(uint16_t keyCode) {
    return keyCode >= FirstModifierKeyCode && keyCode <= LastModifierKeyCode;
}
