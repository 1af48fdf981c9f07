#pragma once

#include "platform/EventTap.h"
#include "platform/Result.h"
#include "platform/linux/broker/BrokerMessage.h"

#include <QTimer>

#include <chrono>
#include <memory>

class BrokerClient;

// The keyboard event tap as the person's side of Velmora has it: the keyboard broker, which
// keeps root, runs the tap and holds every device; this end sends it the remapping state, beats
// for it five times a second, and puts what it reports into words. Without the broker nothing
// is tapped. Lives on the main thread.
class BrokerTap : public EventTap {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds HeartbeatInterval{200};
    // How long the broker may take over its first scan of the keyboards.
    static constexpr std::chrono::milliseconds StartLimit{10000};

    // The tap of the broker behind `broker`; fails, saying why in plain words, when the broker
    // cannot tap.
    static Result<std::unique_ptr<BrokerTap>> create(std::unique_ptr<BrokerClient> broker);
    ~BrokerTap() override;

    void setRemapState(const RemapState &state) override;
    QString statusText() const override;
    bool chatPaused() const override { return m_status.chatPaused; }
    // Closes the broker's socket: it lifts every key, lets the keyboards go and ends.
    void shutdown() override;

    // Why the broker cannot tap, from a problem it reported.
    static Failure problemFailure(const BrokerMessage &problem);

private:
    BrokerTap(std::unique_ptr<BrokerClient> broker, const BrokerStatus &status);
    void onMessage(const BrokerMessage &message);
    void onBrokerLost();
    void beat();
    void sendState();

    std::unique_ptr<BrokerClient> m_broker;
    BrokerStatus m_status;
    RemapState m_state;
    bool m_statePending = false;
    bool m_stopped = false;
    bool m_brokerLost = false;
    QTimer m_heartbeat;
};
