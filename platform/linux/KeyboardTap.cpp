#include "platform/linux/KeyboardTap.h"

#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerProcess.h"
#include "platform/linux/BrokerStallGuard.h"
#include "platform/linux/LibevdevKeyboardSource.h"
#include "platform/linux/TapWatchdog.h"
#include "platform/linux/UinputSink.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <optional>

struct KeyboardTap::Keyboard {
    int id;
    QString path;
    std::unique_ptr<KeyboardSource> source;
    QSocketNotifier *notifier;
    // Written on the main thread under m_grabMutex; the watchdog reads it under the lock.
    bool grabbed = false;
};

// What the broker sends before its first scan is done: the tap is made from it.
struct KeyboardTap::FirstScan {
    UniqueFd virtualKeyboard;
    std::vector<std::pair<UniqueFd, QString>> keyboards;
    std::optional<Failure> problem;

    void take(BrokerMessage message);
};

namespace {

Failure brokerProblem(const BrokerMessage &message) {
    const QString reason = QString::fromLocal8Bit(strerror(message.errorNumber));
    switch (BrokerProblem(message.code)) {
    case BrokerProblem::NoVirtualKeyboard:
        return UinputSink::creationFailure(message.errorNumber);
    case BrokerProblem::NoPermission:
        return {QObject::tr("No permission to read the keyboards in /dev/input: Velmora "
                            "must run as root to remap keys."),
                message.errorNumber};
    case BrokerProblem::BrokerNotStarted:
        return {QObject::tr("The keyboard helper %1 could not be started: %2")
                    .arg(BrokerProcess::ProgramName, reason),
                message.errorNumber};
    }
    return {QObject::tr("The keyboard helper reported a problem: %1").arg(reason),
            message.errorNumber};
}

}  // namespace

void KeyboardTap::FirstScan::take(BrokerMessage message) {
    switch (message.type) {
    case BrokerMessageType::VirtualKeyboard:
        virtualKeyboard = std::move(message.fd);
        return;
    case BrokerMessageType::Keyboard:
        keyboards.emplace_back(std::move(message.fd), QString::fromStdString(message.path));
        return;
    case BrokerMessageType::Problem:
        // The first one says most: the later ones follow from it.
        if (!problem) problem = brokerProblem(message);
        return;
    default:
        return;
    }
}

Result<std::unique_ptr<KeyboardTap>> KeyboardTap::create(TapCallback callback, void *userInfo) {
    auto started = BrokerProcess::start(BrokerProcess::besideExecutable());
    if (!started) return started.failure();
    return createWithBroker(std::make_unique<BrokerClient>(std::move(started->socket),
                                                           started->pid),
                            callback, userInfo);
}

Result<std::unique_ptr<KeyboardTap>> KeyboardTap::createWithBroker(
    std::unique_ptr<BrokerClient> broker, TapCallback callback, void *userInfo) {
    FirstScan scan;
    const Result<void> started =
        broker->start([&scan](BrokerMessage message) { scan.take(std::move(message)); },
                      BrokerStartLimit);
    if (scan.problem) return *scan.problem;
    if (!started) return started.failure();
    if (!scan.virtualKeyboard) return UinputSink::creationFailure(ENODEV);
    BrokerStallGuard *guard = nullptr;
    auto tap = std::make_unique<KeyboardTap>(
        UinputSink::adopt(std::move(scan.virtualKeyboard)), callback, userInfo, DefaultStallLimit,
        [&broker, &guard](std::function<void()> onStall) {
            auto made =
                std::make_unique<BrokerStallGuard>(*broker, DefaultStallLimit, std::move(onStall));
            guard = made.get();
            return made;
        });
    for (auto &[fd, path] : scan.keyboards) tap->adoptKeyboard(std::move(fd), path);
    tap->adoptBroker(std::move(broker), guard);
    return tap;
}

KeyboardTap::KeyboardTap(std::unique_ptr<KeyboardSink> sink, TapCallback callback, void *userInfo,
                         std::chrono::milliseconds stallLimit, const StallGuardFactory &makeGuard)
    : m_sink(std::move(sink)), m_engine(callback, userInfo, *this), m_stallLimit(stallLimit),
      m_feedbackNotifier(
          std::make_unique<QSocketNotifier>(m_sink->feedbackFd(), QSocketNotifier::Read)) {
    const auto onStall = [this] { failOpen(); };
    m_stallGuard =
        makeGuard ? makeGuard(onStall) : std::make_unique<TapWatchdog>(stallLimit, onStall);
    connect(m_feedbackNotifier.get(), &QSocketNotifier::activated, this, &KeyboardTap::onFeedback);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        m_stallGuard->beat();
        m_engine.tick();
    });
    m_heartbeat.start(m_stallLimit / 5);
}

KeyboardTap::~KeyboardTap() { shutdown(); }

void KeyboardTap::addKeyboard(std::unique_ptr<KeyboardSource> source, const QString &path) {
    if (!m_ledsSeeded) {
        for (uint16_t led : {LED_NUML, LED_CAPSL}) m_engine.seedLed(led, source->ledOn(led));
        m_ledsSeeded = true;
    }
    auto keyboard = std::make_unique<Keyboard>();
    keyboard->id = m_nextId++;
    keyboard->path = path;
    keyboard->notifier = new QSocketNotifier(source->fd(), QSocketNotifier::Read, this);
    keyboard->source = std::move(source);
    Keyboard *raw = keyboard.get();
    connect(raw->notifier, &QSocketNotifier::activated, this, [this, raw] { onReadable(raw); });
    {
        std::lock_guard lock(m_grabMutex);
        m_keyboards.push_back(std::move(keyboard));
    }
    qInfo("Keyboard tap: found keyboard \"%s\"", qUtf8Printable(raw->source->name()));
    tryGrab(*raw);
    updateStatus();
}

void KeyboardTap::adoptBroker(std::unique_ptr<BrokerClient> broker, BrokerStallGuard *guard) {
    m_broker = std::move(broker);
    m_brokerGuard = guard;
    m_broker->setHandler([this](BrokerMessage message) { onBrokerMessage(std::move(message)); });
    connect(m_broker.get(), &BrokerClient::disconnected, this, &KeyboardTap::onBrokerLost);
}

void KeyboardTap::adoptKeyboard(UniqueFd fd, const QString &path) {
    // The broker tells devices apart. A keyboard unplugged and plugged in again can come
    // back under its old node before its old handle has been read to its end: that handle
    // is dead then.
    for (const auto &keyboard : m_keyboards) {
        if (keyboard->path != path || keyboard->source->isPresent()) continue;
        removeKeyboard(keyboard.get());
        break;
    }
    auto source = LibevdevKeyboardSource::adopt(std::move(fd));
    if (source)
        addKeyboard(source.take(), path);
    else
        qInfo("Keyboard tap: %s", qUtf8Printable(source.failure().message));
}

void KeyboardTap::onBrokerMessage(BrokerMessage message) {
    switch (message.type) {
    case BrokerMessageType::Keyboard:
        adoptKeyboard(std::move(message.fd), QString::fromStdString(message.path));
        return;
    case BrokerMessageType::KeyboardsReleased:
        if (m_brokerGuard) m_brokerGuard->brokerReleased();
        return;
    case BrokerMessageType::Problem:
        qInfo("Keyboard tap: %s", qUtf8Printable(brokerProblem(message).message));
        return;
    default:
        return;
    }
}

// Without the broker nothing would let the keyboards go were this process to stop: so they
// are let go now, for good.
void KeyboardTap::onBrokerLost() {
    qWarning("Keyboard tap: the keyboard helper has ended; keyboards released");
    shutdown();
    m_brokerLost = true;
    updateStatus();
}

void KeyboardTap::onReadable(Keyboard *keyboard) {
    m_stallGuard->beat();
    m_readBuffer.clear();
    if (keyboard->source->readEvents(m_readBuffer) == ReadStatus::Gone) {
        removeKeyboard(keyboard);
        return;
    }
    // Not ours (yet): the system has seen these events already.
    if (!keyboard->grabbed || m_stallGuard->tripped()) {
        tryGrab(*keyboard);
        return;
    }
    handleVerdict(*keyboard, m_engine.feed(keyboard->id, m_readBuffer));
}

void KeyboardTap::handleVerdict(Keyboard &keyboard, TapEngine::Verdict verdict) {
    switch (verdict) {
    case TapEngine::Verdict::Continue:
        return;
    case TapEngine::Verdict::NeedsResync:
        handleVerdict(keyboard, m_engine.resync(keyboard.id, keyboard.source->keysDown()));
        return;
    case TapEngine::Verdict::Panic:
        qInfo("Keyboard tap: panic chord, keyboards released");
        ungrabAll();
        m_panicReleased = true;
        updateStatus();
        return;
    }
}

void KeyboardTap::onFeedback() {
    m_readBuffer.clear();
    if (m_sink->readFeedback(m_readBuffer) == ReadStatus::Gone) {
        qWarning("Keyboard tap: the virtual keyboard went away");
        m_feedbackNotifier->setEnabled(false);
        return;
    }
    m_engine.feedback(m_readBuffer);
}

void KeyboardTap::tryGrab(Keyboard &keyboard) {
    if (keyboard.grabbed || m_stopped || m_panicReleased || m_stalled || m_stallGuard->tripped())
        return;
    // Grabbing under a held key would leave the system waiting for its release.
    if (keyboard.source->keysDown().any()) return;
    {
        std::lock_guard lock(m_grabMutex);
        if (!keyboard.source->grab()) return;
        keyboard.grabbed = true;
    }
    m_engine.addSource(keyboard.id);
    m_stallGuard->setArmed(true);
}

void KeyboardTap::tryGrabAll() {
    for (const auto &keyboard : m_keyboards) tryGrab(*keyboard);
}

void KeyboardTap::ungrabAll() {
    {
        std::lock_guard lock(m_grabMutex);
        for (const auto &keyboard : m_keyboards) {
            if (keyboard->grabbed) keyboard->source->ungrab();
            keyboard->grabbed = false;
        }
    }
    m_engine.forgetAll();
    m_stallGuard->setArmed(false);
}

void KeyboardTap::removeKeyboard(Keyboard *keyboard) {
    qInfo("Keyboard tap: keyboard \"%s\" went away", qUtf8Printable(keyboard->source->name()));
    m_engine.removeSource(keyboard->id);
    // Deleted later: we may be inside its notification.
    keyboard->notifier->setEnabled(false);
    keyboard->notifier->deleteLater();
    {
        std::lock_guard lock(m_grabMutex);
        std::erase_if(m_keyboards, [keyboard](const auto &k) { return k.get() == keyboard; });
    }
    m_stallGuard->setArmed(anyGrabbed());
    updateStatus();
}

bool KeyboardTap::anyGrabbed() const {
    for (const auto &keyboard : m_keyboards)
        if (keyboard->grabbed) return true;
    return false;
}

// The stall guard (on the watchdog's thread, or on the main thread back from a stop): the
// main thread was stuck. Let the keyboards go and lift every key of the virtual keyboard, so
// the person can type even if Velmora never comes back.
void KeyboardTap::failOpen() {
    {
        std::lock_guard lock(m_grabMutex);
        for (const auto &keyboard : m_keyboards)
            if (keyboard->grabbed) keyboard->source->ungrab();
    }
    m_sink->releaseAllKeys();
    if (m_engine.takeBackNumLock()) m_sink->toggleNumLock();
    QMetaObject::invokeMethod(this, &KeyboardTap::recoverFromStall, Qt::QueuedConnection);
}

void KeyboardTap::recoverFromStall() {
    qInfo("Keyboard tap: the main thread stalled, keyboards were released");
    {
        std::lock_guard lock(m_grabMutex);
        for (const auto &keyboard : m_keyboards) keyboard->grabbed = false;
    }
    m_engine.forgetAll();
    m_stallGuard->setArmed(false);
    // Whatever the main thread emitted on its way out of the stall is lifted too.
    m_sink->releaseAllKeys();
    m_engine.notifyDisabled();
    m_stalled = true;
    updateStatus();
    QTimer::singleShot(m_stallLimit, this, &KeyboardTap::rearmAfterStall);
}

void KeyboardTap::rearmAfterStall() {
    m_stalled = false;
    m_stallGuard->reset();
    tryGrabAll();
    updateStatus();
}

void KeyboardTap::shutdown() {
    if (m_stopped) return;
    m_engine.releaseAll();
    ungrabAll();
    m_stopped = true;
    updateStatus();
}

void KeyboardTap::rearm() {
    m_panicReleased = false;
    tryGrabAll();
    updateStatus();
}

KeyboardTap::Status KeyboardTap::status() const {
    if (m_brokerLost) return Status::BrokerLost;
    if (m_stopped) return Status::Stopped;
    if (m_panicReleased) return Status::ReleasedByPanic;
    if (m_stalled) return Status::DisabledByWatchdog;
    return m_keyboards.empty() ? Status::NoKeyboard : Status::Active;
}

QString KeyboardTap::statusText() const {
    switch (status()) {
    case Status::Active:
        return tr("Active with %n keyboard(s)", nullptr, keyboardCount());
    case Status::NoKeyboard:
        return tr("No keyboard found");
    case Status::DisabledByWatchdog:
        return tr("Keyboards released: Velmora stopped responding for a moment");
    case Status::ReleasedByPanic:
        return tr(
            "Keyboards released by Backspace+Escape+Enter; switch remapping on again "
            "to take them back");
    case Status::Stopped:
        return tr("Keyboard tap stopped");
    case Status::BrokerLost:
        return tr(
            "Keyboards released: the keyboard helper has ended; start Velmora again to "
            "remap keys");
    }
    return {};
}

void KeyboardTap::updateStatus() {
    const Status now = status();
    if (now == m_reportedStatus && keyboardCount() == m_reportedCount) return;
    m_reportedStatus = now;
    m_reportedCount = keyboardCount();
    emit statusChanged();
}

void KeyboardTap::emitEvents(std::span<const input_event> events) {
    if (m_sink->writeEvents(events) || m_writeFailed) return;
    m_writeFailed = true;
    qWarning("Keyboard tap: writing to the virtual keyboard failed");
}

void KeyboardTap::forwardLed(uint16_t led, bool on) {
    for (const auto &keyboard : m_keyboards) keyboard->source->setLed(led, on);
}
