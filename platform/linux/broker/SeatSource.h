#pragma once

#include <optional>

// Whether the login session the broker works for is the active one on its seat: logind in
// LogindSeat, a fake in tests. Used from the broker's loop's thread.
class SeatSource {
public:
    virtual ~SeatSource() = default;

    // None when it cannot be told: no logind, or no session to follow.
    virtual std::optional<bool> active() = 0;
    // Becomes readable when the answer may have changed; -1 when it never does.
    virtual int watchFd() const = 0;
    // After watchFd() was readable, before active() is asked again.
    virtual void flush() = 0;
};
