#include "platform/linux/broker/TapWatchdog.h"

TapWatchdog::TapWatchdog(std::chrono::milliseconds limit, std::function<void()> onStall)
    : m_limit(limit), m_onStall(std::move(onStall)),
      m_lastBeat(Clock::now().time_since_epoch().count()), m_thread(&TapWatchdog::run, this) {}

TapWatchdog::~TapWatchdog() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TapWatchdog::beat(Clock::time_point now) { m_lastBeat = now.time_since_epoch().count(); }

void TapWatchdog::setArmed(bool armed) {
    // Time spent unarmed is not a stall.
    beat(Clock::now());
    m_armed = armed;
}

bool TapWatchdog::stalled() const {
    const Clock::time_point last{Clock::duration(m_lastBeat.load())};
    return m_armed && !m_tripped && Clock::now() - last > m_limit;
}

void TapWatchdog::run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_limit / 10, [this] { return m_stopping; })) {
        if (!stalled()) continue;
        m_tripped = true;
        lock.unlock();
        m_onStall();
        lock.lock();
    }
}
