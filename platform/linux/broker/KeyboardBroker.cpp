#include "platform/linux/broker/KeyboardBroker.h"

#include "platform/linux/broker/KeyRelease.h"

#include <fcntl.h>
#include <poll.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

UniqueFd duplicate(int fd) { return UniqueFd(fcntl(fd, F_DUPFD_CLOEXEC, 0)); }

}  // namespace

KeyboardBroker::KeyboardBroker(UniqueFd socket, std::unique_ptr<BrokerDevices> devices,
                               std::chrono::milliseconds stallLimit)
    : m_channel(std::move(socket)), m_devices(std::move(devices)), m_stallLimit(stallLimit) {}

KeyboardBroker::~KeyboardBroker() = default;

void KeyboardBroker::run(int stopFd) {
    for (;;) {
        // Slots: the socket, the stop descriptor, the udev watch, then one per keyboard,
        // polled for nothing but its end (reading would take events from the tap).
        std::vector<pollfd> fds{{m_channel.fd(), POLLIN, 0},
                                {stopFd, POLLIN, 0},
                                {m_watchFd, POLLIN, 0}};
        for (const auto &keyboard : m_keyboards) fds.push_back({keyboard.fd.get(), 0, 0});
        if (poll(fds.data(), fds.size(), pollTimeoutMs()) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (fds[0].revents && serveMessages() == Served::End) break;
        std::vector<size_t> gone;
        for (size_t i = 3; i < fds.size(); ++i)
            if (fds[i].revents) gone.push_back(i - 3);
        dropGoneKeyboards(gone);
        if (fds[2].revents)
            for (auto &keyboard : m_devices->takeAdded()) addKeyboard(std::move(keyboard));
        checkHeartbeat();
    }
    failOpen();
}

KeyboardBroker::Served KeyboardBroker::serveMessages() {
    for (;;) {
        BrokerChannel::Received received = m_channel.receive();
        switch (received.status) {
        case BrokerChannel::Status::Empty:
            return Served::Ok;
        case BrokerChannel::Status::Closed:
            return Served::End;
        case BrokerChannel::Status::Malformed:
            std::fprintf(stderr, "Velmora keyboard broker: malformed message, ending\n");
            return Served::End;
        case BrokerChannel::Status::Message:
            if (handle(std::move(received.message)) == Served::End) return Served::End;
        }
    }
}

KeyboardBroker::Served KeyboardBroker::handle(BrokerMessage message) {
    switch (message.type) {
    case BrokerMessageType::Start:
        if (m_started) break;
        m_started = true;
        m_lastBeat = Clock::now();
        openDevices();
        return Served::Ok;
    case BrokerMessageType::Heartbeat:
        m_lastBeat = Clock::now();
        // Beating again: the person's side takes the keyboards back on its own.
        m_tripped = false;
        return Served::Ok;
    default:
        break;
    }
    std::fprintf(stderr, "Velmora keyboard broker: unexpected message %d, ending\n",
                 int(message.type));
    return Served::End;
}

void KeyboardBroker::openDevices() {
    BrokerDevices::Created created = m_devices->createVirtualKeyboard();
    if (!created.fd) {
        // Without somewhere to send keys, no keyboard may be grabbed.
        send(BrokerMessage::problem(BrokerProblem::NoVirtualKeyboard, created.errorNumber));
        send(BrokerMessage(BrokerMessageType::ScanDone));
        return;
    }
    m_virtualKeyboard = std::move(created.fd);
    send(BrokerMessage::withFd(BrokerMessageType::VirtualKeyboard,
                               duplicate(m_virtualKeyboard.get())));
    // Watching starts before the scan so that a keyboard plugged in meanwhile is not missed.
    m_watchFd = m_devices->startWatching();
    BrokerDevices::Scan scan = m_devices->scanKeyboards();
    for (auto &keyboard : scan.keyboards) addKeyboard(std::move(keyboard));
    if (m_keyboards.empty() && scan.denied)
        send(BrokerMessage::problem(BrokerProblem::NoPermission, EACCES));
    send(BrokerMessage(BrokerMessageType::ScanDone));
}

void KeyboardBroker::addKeyboard(BrokerDevices::Opened keyboard) {
    for (auto it = m_keyboards.begin(); it != m_keyboards.end(); ++it) {
        if (it->identity != keyboard.identity) continue;
        // Seen by both the scan and the watch, or back under a reused identity.
        if (m_devices->present(it->fd.get())) return;
        m_keyboards.erase(it);
        break;
    }
    BrokerMessage message = BrokerMessage::withFd(BrokerMessageType::Keyboard,
                                                  duplicate(keyboard.fd.get()), keyboard.path);
    if (const int error = m_channel.send(message); error != 0) {
        std::fprintf(stderr, "Velmora keyboard broker: cannot hand over %s: %s\n",
                     keyboard.path.c_str(), std::strerror(error));
        return;
    }
    m_keyboards.push_back(std::move(keyboard));
}

void KeyboardBroker::dropGoneKeyboards(const std::vector<size_t> &gone) {
    // From the back, so that the earlier indexes stay valid.
    for (auto it = gone.rbegin(); it != gone.rend(); ++it)
        m_keyboards.erase(m_keyboards.begin() + std::ptrdiff_t(*it));
}

int KeyboardBroker::pollTimeoutMs() const {
    if (!m_started || m_tripped) return -1;
    const auto left = m_lastBeat + m_stallLimit - Clock::now();
    // Rounded up: waking a little early would only poll again.
    return int(std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

void KeyboardBroker::checkHeartbeat() {
    if (!m_started || m_tripped || Clock::now() - m_lastBeat <= m_stallLimit) return;
    std::fprintf(stderr, "Velmora keyboard broker: Velmora stopped responding, keyboards let go\n");
    failOpen();
    m_tripped = true;
    send(BrokerMessage(BrokerMessageType::KeyboardsReleased));
}

void KeyboardBroker::failOpen() {
    for (const auto &keyboard : m_keyboards) m_devices->ungrab(keyboard.fd.get());
    if (m_virtualKeyboard) KeyRelease::writeAllKeys(m_virtualKeyboard.get());
}

void KeyboardBroker::send(BrokerMessage message) {
    if (const int error = m_channel.send(message); error != 0 && error != EPIPE)
        std::fprintf(stderr, "Velmora keyboard broker: cannot send message %d: %s\n",
                     int(message.type), std::strerror(error));
}
