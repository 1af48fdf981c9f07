#pragma once

#include <cstdint>

// A recorded key combination: modifier flags and a Velmora virtual key code.
// An empty combination has code -1, whose low 16 bits match no key event.
struct KeyCombo {
    uint64_t flags = 0;
    int64_t code = -1;

    bool operator==(const KeyCombo &) const = default;
};
