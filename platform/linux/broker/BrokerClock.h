#pragma once

#include <time.h>

#include <chrono>

// The broker's clock: monotonic, read from the kernel's last tick. Its few milliseconds of
// resolution are plenty for heartbeats and stall limits of a second, and reading it never
// leaves user space, where a precise reading costs a system call on clocksources the vDSO
// cannot read (HPET, as in virtual machines), once for every key.
struct BrokerClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<BrokerClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
        return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
    }
};
