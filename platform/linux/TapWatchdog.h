#pragma once

#include "platform/linux/StallGuard.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Watches the main thread from a thread of its own, for a tap whose process holds the only
// handles on its devices. While armed, if no beat() comes for longer than the limit, it
// trips once and calls onStall on its own thread; it stays tripped until reset(). It cannot
// help when the whole process is stopped: that takes another process (BrokerStallGuard).
class TapWatchdog final : public StallGuard {
public:
    TapWatchdog(std::chrono::milliseconds limit, std::function<void()> onStall);
    ~TapWatchdog() override;
    TapWatchdog(const TapWatchdog &) = delete;
    TapWatchdog &operator=(const TapWatchdog &) = delete;

    void beat() override;
    void setArmed(bool armed) override;
    bool tripped() const override { return m_tripped; }
    void reset() override { m_tripped = false; }

private:
    using Clock = std::chrono::steady_clock;

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
