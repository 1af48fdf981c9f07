#pragma once

#include "platform/linux/broker/BrokerClock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Watches the broker's loop from a thread of its own. While armed (something is grabbed), if no
// beat() comes for longer than the limit, it trips once and calls onStall on its own thread; it
// stays tripped until reset(). A broker stopped as a whole it cannot help; only root can stop
// it, and it runs in a session of its own, so a terminal's Ctrl+Z never reaches it.
class TapWatchdog final {
public:
    TapWatchdog(std::chrono::milliseconds limit, std::function<void()> onStall);
    ~TapWatchdog();
    TapWatchdog(const TapWatchdog &) = delete;
    TapWatchdog &operator=(const TapWatchdog &) = delete;

    using Clock = BrokerClock;

    // `now` is the loop's own reading: a clock read can cost a system call (on an HPET
    // clocksource, for one), and the loop reads the clock once a turn.
    void beat(Clock::time_point now);
    void setArmed(bool armed);
    bool tripped() const { return m_tripped; }
    void reset() { m_tripped = false; }

private:
    void run();
    bool stalled() const;

    const std::chrono::milliseconds m_limit;
    const std::function<void()> m_onStall;
    std::atomic<Clock::rep> m_lastBeat;
    std::atomic<bool> m_armed = false;
    std::atomic<bool> m_tripped = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};
