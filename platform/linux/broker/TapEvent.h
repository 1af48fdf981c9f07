#pragma once

#include "keymap/RemapDecision.h"

#include <cstdint>

// One keyboard event as the event tap hands it to its callback. The tap builds a small one on
// its stack for each key; the interface is abstract so that tests can observe what the
// callback reads and hand back replacements of their own.
class TapEvent {
public:
    // Event types the tap callback distinguishes; anything else is a notification.
    static constexpr uint32_t KeyDown = KeyDownEvent;
    static constexpr uint32_t KeyUp = KeyUpEvent;
    // Sent when the tap was switched off because its callback stalled.
    static constexpr uint32_t TapDisabledByTimeout = 0xFFFFFFFE;

    virtual ~TapEvent() = default;
    // Velmora virtual key code.
    virtual uint16_t keyCode() const = 0;
    // The whole modifier word, device-dependent bits and 0x100 included.
    virtual uint64_t modifierFlags() const = 0;
};

// The tap's callback: returns the event to deliver, which is either `event` itself
// (pass through), a replacement, or nullptr (drop). `proxy` and `userInfo` are the
// tap's own and may be ignored.
using TapCallback = TapEvent *(*)(void *proxy, uint32_t type, TapEvent *event, void *userInfo);
