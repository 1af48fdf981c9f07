#pragma once

#include "platform/Result.h"
#include "platform/linux/broker/BrokerChannel.h"

#include <QObject>

#include <sys/types.h>
#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;

// The person's end of the broker socket, on the main thread: asks the broker to open the
// devices, sends it state, beats for it, and hands on what it sends. Owns the socket; closing it
// (by destroying the client) ends the broker, which lets every keyboard go.
class BrokerClient : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(BrokerMessage)>;

    // `brokerPid` is collected once the broker has ended, so that it does not linger as a
    // zombie; -1 when it is not our child.
    BrokerClient(UniqueFd socket, pid_t brokerPid, QObject *parent = nullptr);
    ~BrokerClient() override;

    // Asks the broker to open the devices. What it sends up to its first status reaches the
    // handler before this returns (within `timeout`); later messages as they come, on the event
    // loop.
    Result<void> start(Handler handler, std::chrono::milliseconds timeout);
    // Where later messages go from now on.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Never blocks: 0, or the errno (EAGAIN while the broker's queue is full).
    int send(const BrokerMessage &message);
    // Tells the broker this process is alive; a full queue drops the beat.
    void beat() { send(BrokerMessage(BrokerMessageType::Heartbeat)); }
    bool isConnected() const { return m_connected; }

signals:
    // The broker ended or broke the protocol; nothing more comes from it.
    void disconnected();

private:
    enum class Read { More, FirstStatus, Ended };
    Read readWaiting();
    void readLater();
    void lose();
    void collectBroker(std::chrono::milliseconds patience);

    BrokerChannel m_channel;
    pid_t m_brokerPid;
    Handler m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_connected = true;
    bool m_sawStatus = false;
};
