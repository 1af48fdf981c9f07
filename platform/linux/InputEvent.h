#pragma once

#include <linux/input.h>

#include <cstdint>

// One evdev record with no timestamp: the kernel stamps what is written to uinput.
inline input_event makeInputEvent(uint16_t type, uint16_t code, int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}
