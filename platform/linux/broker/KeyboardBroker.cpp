#include "platform/linux/broker/KeyboardBroker.h"

#include "platform/linux/broker/BrokerLog.h"
#include "platform/linux/broker/EventCallback.h"

#include <cerrno>
#include <cstring>

namespace {

constexpr int MessagesPerTurn = 16;

}  // namespace

KeyboardBroker::KeyboardBroker(UniqueFd socket, std::unique_ptr<BrokerDevices> devices,
                               std::unique_ptr<SeatSource> seat,
                               std::function<void()> dropPrivileges,
                               std::chrono::milliseconds stallLimit)
    : m_channel(std::move(socket)), m_devices(std::move(devices)), m_seat(std::move(seat)),
      m_dropPrivileges(std::move(dropPrivileges)), m_stallLimit(stallLimit),
      m_lastBeat(Clock::now()) {}

KeyboardBroker::~KeyboardBroker() = default;

void KeyboardBroker::run(int stopFd) {
    enum Slot { Socket, Stop, Watch, Seat, Tap };
    // One clock reading a turn, taken after the wait: it may cost a system call per key.
    Clock::time_point now = Clock::now();
    for (;;) {
        m_fds.clear();
        m_fds.push_back({m_channel.fd(), POLLIN, 0});
        m_fds.push_back({stopFd, POLLIN, 0});
        m_fds.push_back({m_watchFd, POLLIN, 0});
        m_fds.push_back({m_started && m_seat ? m_seat->watchFd() : -1, POLLIN, 0});
        if (m_tap) m_tap->fillPoll(m_fds);
        // `now` is the last turn's, as old as that turn's work: a wait ends that much late.
        if (poll(m_fds.data(), m_fds.size(), pollTimeoutMs(now)) < 0 && errno != EINTR) break;
        now = Clock::now();
        if (m_fds[Stop].revents) break;
        // The state first, for keys that came with it. A start makes the tap, which then has
        // no entries yet.
        if (m_fds[Socket].revents && serveMessages(now) == Served::End) break;
        if (m_tap) m_tap->serve(std::span(m_fds).subspan(Tap));
        if (m_fds[Watch].revents)
            for (auto &keyboard : m_devices->takeAdded()) m_tap->addKeyboard(std::move(keyboard));
        if (m_fds[Seat].revents) {
            m_seat->flush();
            followSeat();
        }
        checkHeartbeat(now);
        if (m_tap) m_tap->beat(now);
        reportStatus();
    }
    if (m_tap) m_tap->shutdown();
}

KeyboardBroker::Served KeyboardBroker::serveMessages(Clock::time_point now) {
    // A few at a time, so that a flood of them never keeps the keyboards waiting.
    for (int served = 0; served < MessagesPerTurn; ++served) {
        BrokerChannel::Received received = m_channel.receive();
        switch (received.status) {
        case BrokerChannel::Status::Empty:
            return Served::Ok;
        case BrokerChannel::Status::Closed:
            return Served::End;
        case BrokerChannel::Status::Malformed:
            brokerLog("malformed message, ending");
            return Served::End;
        case BrokerChannel::Status::Message:
            if (handle(received.message, now) == Served::End) return Served::End;
        }
    }
    return Served::Ok;
}

KeyboardBroker::Served KeyboardBroker::handle(const BrokerMessage &message, Clock::time_point now) {
    // Whatever it sends, the person's side is there.
    m_lastBeat = now;
    m_host.setPersonQuiet(false);
    switch (message.type) {
    case BrokerMessageType::Start:
        if (m_started) break;
        m_started = true;
        openDevices();
        return Served::Ok;
    case BrokerMessageType::Heartbeat:
        return Served::Ok;
    case BrokerMessageType::State:
        // Switching on takes back what the panic chord let go.
        if (m_host.setState(message.state) && m_tap) m_tap->rearm();
        return Served::Ok;
    default:
        break;
    }
    brokerLog("unexpected message %d, ending", int(message.type));
    return Served::End;
}

void KeyboardBroker::openDevices() {
    BrokerDevices::Created created = m_devices->createVirtualKeyboard();
    if (!created.sink) {
        // Without somewhere to send keys, no keyboard may be grabbed.
        send(BrokerMessage::problem(BrokerProblem::NoVirtualKeyboard, created.errorNumber));
        m_reportPending = true;
        return;
    }
    m_watchFd = m_devices->startWatching();
    if (m_dropPrivileges) m_dropPrivileges();
    m_tap = std::make_unique<KeyboardTap>(
        std::move(created.sink), [this] { return m_devices->createVirtualPointer(); },
        eventCallback, &m_host, m_stallLimit);
    followSeat();
    BrokerDevices::Scan scan = m_devices->scanKeyboards();
    if (scan.keyboards.empty() && scan.denied)
        send(BrokerMessage::problem(BrokerProblem::NoPermission, EACCES));
    for (auto &keyboard : scan.keyboards) m_tap->addKeyboard(std::move(keyboard));
    m_reportPending = true;
}

void KeyboardBroker::followSeat() {
    const std::optional<bool> active = m_seat ? m_seat->active() : std::nullopt;
    m_seatUnknown = !active;
    // Where nobody can tell, the keyboards are the person's.
    m_seatActive = active.value_or(true);
    if (m_tap) m_tap->setSeatActive(m_seatActive);
}

void KeyboardBroker::checkHeartbeat(Clock::time_point now) {
    m_host.setPersonQuiet(now - m_lastBeat > m_stallLimit);
}

int KeyboardBroker::pollTimeoutMs(Clock::time_point now) const {
    // The tap beats a few times a second; the person's side is looked at once it is due.
    auto wait = std::chrono::duration_cast<Clock::duration>(m_stallLimit / 5);
    const Clock::duration untilQuiet = m_lastBeat + m_stallLimit - now;
    if (untilQuiet > Clock::duration::zero()) wait = std::min(wait, untilQuiet);
    // Rounded up: waking a little early would only poll again.
    return int(std::chrono::ceil<std::chrono::milliseconds>(wait).count()) + 1;
}

void KeyboardBroker::reportStatus() {
    BrokerStatus status;
    if (m_tap) {
        const KeyboardTap::Status tap = m_tap->status();
        status.keyboards = tap.keyboards;
        status.panicReleased = tap.panicReleased;
        status.stallReleased = tap.stallReleased;
    }
    status.chatPaused = m_host.chatPause().isPaused();
    status.seatInactive = !m_seatActive;
    status.seatUnknown = m_seatUnknown;
    if (!m_started || (status == m_reported && !m_reportPending)) return;
    // A person's side that does not read is sent the latest when it reads again.
    const int error = m_channel.send(BrokerMessage::statusOf(status));
    m_reportPending = error == EAGAIN;
    if (error == 0) m_reported = status;
}

void KeyboardBroker::send(const BrokerMessage &message) {
    if (const int error = m_channel.send(message); error != 0 && error != EPIPE)
        brokerLog("cannot send message %d: %s", int(message.type), std::strerror(error));
}
