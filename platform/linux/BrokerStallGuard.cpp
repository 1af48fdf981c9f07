#include "platform/linux/BrokerStallGuard.h"

#include "platform/linux/BrokerClient.h"

BrokerStallGuard::BrokerStallGuard(BrokerClient &broker, std::chrono::milliseconds limit,
                                   std::function<void()> onStall)
    : m_broker(broker), m_limit(limit), m_onStall(onStall), m_lastSent(Clock::now()),
      m_watchdog(limit, std::move(onStall)) {}

void BrokerStallGuard::beat() {
    const Clock::time_point now = Clock::now();
    // The broker counts from when it received the last beat, never earlier than it was
    // sent: away for longer than the limit since then, it has let go, or is about to.
    if (now - m_lastSent > m_limit && !tripped()) trip();
    m_watchdog.beat();
    // Often enough that the broker never waits half its limit; never once per key.
    if (now - m_lastSent < m_limit / 10) return;
    m_broker.beat();
    m_lastSent = now;
}

void BrokerStallGuard::reset() {
    m_tripped = false;
    m_watchdog.reset();
}

void BrokerStallGuard::brokerReleased() {
    if (!tripped()) trip();
}

void BrokerStallGuard::trip() {
    m_tripped = true;
    m_onStall();
}
