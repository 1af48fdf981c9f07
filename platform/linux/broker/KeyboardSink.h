#pragma once

#include "platform/linux/broker/KeyboardSource.h"

#include <span>

// The one virtual keyboard everything the tap lets through is re-emitted on. What the
// system writes back to it (LED changes) can be read from feedbackFd().
class KeyboardSink {
public:
    virtual ~KeyboardSink() = default;

    virtual int feedbackFd() const = 0;
    virtual bool writeEvents(std::span<const input_event> events) = 0;
    virtual ReadStatus readFeedback(std::vector<input_event> &events) = 0;

    // Writes a release of every key. Safe from any thread: it is the watchdog's way
    // of failing open while the main thread is stuck.
    bool releaseAllKeys();
    // Writes one NumLock press and release. Safe from any thread, like releaseAllKeys().
    bool toggleNumLock();
};
