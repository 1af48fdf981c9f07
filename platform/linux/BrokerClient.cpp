#include "platform/linux/BrokerClient.h"

#include <QObject>
#include <QSocketNotifier>

#include <poll.h>
#include <sys/wait.h>
#include <cerrno>
#include <thread>

BrokerClient::BrokerClient(UniqueFd socket, pid_t brokerPid, QObject *parent)
    : QObject(parent), m_channel(std::move(socket)), m_brokerPid(brokerPid) {}

namespace {

// The broker ends once it has let go of the devices, a matter of milliseconds.
constexpr std::chrono::milliseconds BrokerEndWait{500};

}  // namespace

BrokerClient::~BrokerClient() {
    m_notifier.reset();
    m_channel.close();
    collectBroker(BrokerEndWait);
}

Result<void> BrokerClient::start(Handler handler, std::chrono::milliseconds timeout) {
    m_handler = std::move(handler);
    // Sent blind: a broker that has already ended left its reason on the socket, read below.
    m_channel.send(BrokerMessage(BrokerMessageType::Start));
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    Read read = Read::More;
    while (read == Read::More) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{m_channel.fd(), POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, int(left.count())) == 0)
            return Failure{tr("The keyboard helper does not answer.")};
        read = readWaiting();
    }
    if (read == Read::Ended) return Failure{tr("The keyboard helper has ended.")};
    m_notifier = std::make_unique<QSocketNotifier>(m_channel.fd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &BrokerClient::readLater);
    return {};
}

int BrokerClient::send(const BrokerMessage &message) {
    return m_connected ? m_channel.send(message) : EPIPE;
}

// Hands on every waiting message; stops after the first status so that start() can return.
BrokerClient::Read BrokerClient::readWaiting() {
    for (;;) {
        BrokerChannel::Received received = m_channel.receive();
        switch (received.status) {
        case BrokerChannel::Status::Empty:
            return Read::More;
        case BrokerChannel::Status::Closed:
        case BrokerChannel::Status::Malformed:
            lose();
            return Read::Ended;
        case BrokerChannel::Status::Message:
            break;
        }
        const BrokerMessageType type = received.message.type;
        // Only the broker's kinds may come from it.
        if (type != BrokerMessageType::Status && type != BrokerMessageType::Problem) {
            lose();
            return Read::Ended;
        }
        const bool firstStatus = type == BrokerMessageType::Status && !m_sawStatus;
        m_sawStatus = m_sawStatus || firstStatus;
        m_handler(std::move(received.message));
        if (firstStatus) return Read::FirstStatus;
    }
}

void BrokerClient::readLater() {
    while (m_connected && readWaiting() == Read::FirstStatus) {
    }
}

void BrokerClient::lose() {
    if (!m_connected) return;
    m_connected = false;
    if (m_notifier) m_notifier->setEnabled(false);
    // A broker that broke the protocol ends too, once it reads the end of the socket.
    m_channel.close();
    collectBroker(BrokerEndWait / 5);
    emit disconnected();
}

void BrokerClient::collectBroker(std::chrono::milliseconds patience) {
    if (m_brokerPid <= 0) return;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (waitpid(m_brokerPid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Collected, or not ours to collect: never waited for again, as the number may be reused.
    m_brokerPid = -1;
}
