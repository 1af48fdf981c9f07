#pragma once

#include "platform/linux/broker/TapEvent.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

// A stand-in for the application's callback: remaps virtual key codes while switched on
// and the game is in front, and remembers what it was asked.
struct TestRemapper {
    struct Call {
        uint32_t type;
        uint16_t keyCode;
        uint64_t flags;
    };

    bool on = true;
    bool gameInFront = true;
    std::map<uint16_t, uint16_t> keyMap;
    // Keys whose events the callback swallows.
    std::set<uint16_t> dropped;
    bool recordCalls = true;
    std::vector<Call> calls;

    static TapEvent *callback(void *proxy, uint32_t type, TapEvent *event, void *self);
};
