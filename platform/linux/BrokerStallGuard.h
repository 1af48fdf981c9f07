#pragma once

#include "platform/linux/StallGuard.h"

#include <chrono>
#include <functional>

class BrokerClient;

// The stall guard of a tap on the keyboard broker's devices. The broker watches the beats
// this sends and lets the keyboards go on its own when they stop, even while this whole
// process is stopped or traced. This side notices on its next beat that it was away for
// longer than the limit, or hears it from the broker, and then fails open too (onStall, on
// the main thread), so that the tap knows the keyboards are no longer its own before it
// reads another key.
class BrokerStallGuard final : public StallGuard {
public:
    BrokerStallGuard(BrokerClient &broker, std::chrono::milliseconds limit,
                     std::function<void()> onStall);

    void beat() override;
    // The broker watches regardless: time with nothing grabbed costs nothing there.
    void setArmed(bool) override {}
    bool tripped() const override { return m_tripped; }
    void reset() override { m_tripped = false; }
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
};
