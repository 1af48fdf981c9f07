#pragma once

#include <linux/input.h>

#include <cstdint>
#include <span>

// Where the tap engine's results go: events for the virtual keyboard, and LED states
// for the physical keyboards.
class TapOutput {
public:
    virtual ~TapOutput() = default;
    virtual void emitEvents(std::span<const input_event> events) = 0;
    virtual void forwardLed(uint16_t led, bool on) = 0;
};
