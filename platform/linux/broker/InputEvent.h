#pragma once

#include <linux/input.h>

#include <array>
#include <cstdint>

// One evdev record with no timestamp: the kernel stamps what is written to uinput.
inline input_event makeInputEvent(uint16_t type, uint16_t code, int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}

// A NumLock press and its release, each in a frame of its own so that the system has
// applied the press before it reads anything that follows.
inline std::array<input_event, 4> numLockToggle() {
    return {makeInputEvent(EV_KEY, KEY_NUMLOCK, 1), makeInputEvent(EV_SYN, SYN_REPORT, 0),
            makeInputEvent(EV_KEY, KEY_NUMLOCK, 0), makeInputEvent(EV_SYN, SYN_REPORT, 0)};
}
