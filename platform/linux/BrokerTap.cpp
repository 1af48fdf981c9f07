#include "platform/linux/BrokerTap.h"

#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerProcess.h"

#include <cerrno>
#include <cstring>
#include <optional>

Result<std::unique_ptr<BrokerTap>> BrokerTap::create(std::unique_ptr<BrokerClient> broker) {
    std::optional<Failure> problem;
    BrokerStatus status;
    const Result<void> started = broker->start(
        [&](BrokerMessage message) {
            // The first problem says most: the later ones follow from it.
            if (message.type == BrokerMessageType::Problem && !problem)
                problem = problemFailure(message);
            if (message.type == BrokerMessageType::Status) status = message.status;
        },
        StartLimit);
    if (problem) return *problem;
    if (!started) return started.failure();
    return std::unique_ptr<BrokerTap>(new BrokerTap(std::move(broker), status));
}

BrokerTap::BrokerTap(std::unique_ptr<BrokerClient> broker, const BrokerStatus &status)
    : m_broker(std::move(broker)), m_status(status) {
    m_broker->setHandler([this](BrokerMessage message) { onMessage(message); });
    connect(m_broker.get(), &BrokerClient::disconnected, this, &BrokerTap::onBrokerLost);
    connect(&m_heartbeat, &QTimer::timeout, this, &BrokerTap::beat);
    m_heartbeat.start(HeartbeatInterval);
}

BrokerTap::~BrokerTap() = default;

Failure BrokerTap::problemFailure(const BrokerMessage &problem) {
    const int error = problem.errorNumber;
    const QString reason = QString::fromLocal8Bit(strerror(error));
    switch (BrokerProblem(problem.code)) {
    case BrokerProblem::NoVirtualKeyboard:
        if (error == EACCES || error == EPERM)
            return {tr("No permission to use /dev/uinput: Velmora must run as root to remap keys."),
                    error};
        if (error == ENOENT || error == ENODEV || error == ENXIO)
            return {tr("There is no /dev/uinput, so keys cannot be re-emitted: the uinput kernel "
                       "module is not loaded."),
                    error};
        return {tr("Cannot create the virtual keyboard on /dev/uinput: %1").arg(reason), error};
    case BrokerProblem::NoPermission:
        return {tr("No permission to read the keyboards in /dev/input: Velmora must run as root "
                   "to remap keys."),
                error};
    case BrokerProblem::BrokerNotStarted:
        return {tr("The keyboard helper %1 could not be started: %2")
                    .arg(BrokerProcess::ProgramName, reason),
                error};
    }
    return {tr("The keyboard helper reported a problem: %1").arg(reason), error};
}

void BrokerTap::setRemapState(const RemapState &state) {
    m_state = state;
    sendState();
}

void BrokerTap::sendState() {
    if (!m_broker) return;
    // A broker that reads nothing for now gets the latest state on a later beat.
    m_statePending = m_broker->send(BrokerMessage::stateOf(m_state)) == EAGAIN;
}

void BrokerTap::beat() {
    m_broker->beat();
    if (m_statePending) sendState();
}

void BrokerTap::onMessage(const BrokerMessage &message) {
    if (message.type == BrokerMessageType::Problem) {
        qInfo("Keyboard tap: %s", qUtf8Printable(problemFailure(message).message));
        return;
    }
    if (message.status == m_status) return;
    m_status = message.status;
    emit statusChanged();
}

void BrokerTap::onBrokerLost() {
    qWarning("Keyboard tap: the keyboard helper has ended; keyboards released");
    m_heartbeat.stop();
    m_brokerLost = true;
    emit statusChanged();
}

void BrokerTap::shutdown() {
    if (m_stopped) return;
    m_stopped = true;
    m_heartbeat.stop();
    m_broker.reset();
    emit statusChanged();
}

QString BrokerTap::statusText() const {
    QString text;
    if (m_brokerLost)
        return tr(
            "Keyboards released: the keyboard helper has ended; start Velmora again to "
            "remap keys");
    if (m_stopped) return tr("Keyboard tap stopped");
    if (m_status.seatInactive)
        text = tr("Keyboards let go while another session is in front");
    else if (m_status.panicReleased)
        text =
            tr("Keyboards released by Backspace+Escape+Enter; switch remapping on again to "
               "take them back");
    else if (m_status.stallReleased)
        text = tr("Keyboards released: the keyboard helper stopped responding for a moment");
    else if (m_status.keyboards == 0)
        text = tr("No keyboard found");
    else
        text = tr("Active with %n keyboard(s)", nullptr, m_status.keyboards);
    if (!m_status.seatUnknown) return text;
    return tr("%1 (without logind, the keyboards stay with this session when another one is in "
              "front)")
        .arg(text);
}
