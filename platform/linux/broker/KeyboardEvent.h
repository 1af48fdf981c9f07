#pragma once

#include "platform/linux/broker/TapEvent.h"

// A plain keyboard event: what the tap hands to its callback and what a callback
// creates as a replacement. A replacement carries a key code and a direction only.
class KeyboardEvent final : public TapEvent {
public:
    KeyboardEvent(uint16_t keyCode, bool keyDown, uint64_t modifierFlags = 0)
        : m_keyCode(keyCode), m_modifierFlags(modifierFlags), m_keyDown(keyDown) {}

    uint16_t keyCode() const override { return m_keyCode; }
    uint64_t modifierFlags() const override { return m_modifierFlags; }
    bool keyDown() const { return m_keyDown; }

private:
    uint16_t m_keyCode;
    uint64_t m_modifierFlags;
    bool m_keyDown;
};
