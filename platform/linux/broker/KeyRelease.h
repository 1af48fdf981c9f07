#pragma once

#include <linux/input.h>

#include <vector>

// Every key let go, as one frame for a virtual keyboard: how the broker and the tap lift
// whatever may still be held. Releasing a key that is up costs nothing: the kernel drops
// events that change no state.
class KeyRelease {
public:
    static std::vector<input_event> allKeys();
    // Writes allKeys() to a virtual keyboard; false when the write failed or fell short.
    static bool writeAllKeys(int fd);
};
