#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Watches the main thread from a thread of its own. While armed, if no beat() comes for
// longer than the limit, it trips once and calls onStall on its own thread; it stays
// tripped until reset().
class TapWatchdog {
public:
    TapWatchdog(std::chrono::milliseconds limit, std::function<void()> onStall);
    ~TapWatchdog();
    TapWatchdog(const TapWatchdog &) = delete;
    TapWatchdog &operator=(const TapWatchdog &) = delete;

    void beat();
    void setArmed(bool armed);
    bool tripped() const { return m_tripped; }
    void reset() { m_tripped = false; }

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
