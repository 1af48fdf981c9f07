#pragma once

#include "platform/linux/StallGuard.h"
#include "platform/linux/TapWatchdog.h"

#include <chrono>
#include <functional>

class BrokerClient;

// The stall guard of a tap on the keyboard broker's devices. The broker watches the beats
// this sends and lets the keyboards go on its own when they stop, even while this whole
// process is stopped or traced. Within the process a watchdog thread does the rest while
// only the main thread is stuck (it can hand NumLock back, which the broker cannot know
// about). Back from a stop, the next beat notices that it was away for longer than the limit,
// or the broker says so, and the tap fails open here too (onStall, on the main thread)
// before it reads another key, since the keyboards are no longer its own.
class BrokerStallGuard final : public StallGuard {
public:
    BrokerStallGuard(BrokerClient &broker, std::chrono::milliseconds limit,
                     std::function<void()> onStall);

    void beat() override;
    void setArmed(bool armed) override { m_watchdog.setArmed(armed); }
    bool tripped() const override { return m_tripped || m_watchdog.tripped(); }
    void reset() override;
    // The broker has let the keyboards go.
    void brokerReleased();

private:
    using Clock = std::chrono::steady_clock;

    void trip();

    BrokerClient &m_broker;
    const std::chrono::milliseconds m_limit;
    const std::function<void()> m_onStall;
    Clock::time_point m_lastSent;
    bool m_tripped = false;
    // Last, so that its thread ends before anything it touches goes away.
    TapWatchdog m_watchdog;
};
