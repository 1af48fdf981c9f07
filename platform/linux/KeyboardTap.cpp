#include "platform/linux/KeyboardTap.h"

#include "platform/linux/KeyboardMonitor.h"
#include "platform/linux/LibevdevKeyboardSource.h"
#include "platform/linux/UinputSink.h"

#include <QDir>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

struct KeyboardTap::Keyboard {
    int id;
    QString path;
    std::unique_ptr<KeyboardSource> source;
    QSocketNotifier *notifier;
    // Written on the main thread under m_grabMutex; the watchdog reads it under the lock.
    bool grabbed = false;
};

Result<std::unique_ptr<KeyboardTap>> KeyboardTap::create(TapCallback callback, void *userInfo) {
    auto sink = UinputSink::create();
    if (!sink) return sink.failure();
    auto tap = std::make_unique<KeyboardTap>(sink.take(), callback, userInfo);
    // Watching starts before the scan so that a keyboard plugged in meanwhile is not missed.
    std::unique_ptr<KeyboardMonitor> monitor = KeyboardMonitor::create();
    const QDir input(QStringLiteral("/dev/input"));
    bool denied = false;
    for (const QString &entry : input.entryList({QStringLiteral("event*")}, QDir::System)) {
        auto source = LibevdevKeyboardSource::open(input.filePath(entry));
        if (source)
            tap->addKeyboard(source.take(), input.filePath(entry));
        else
            denied = denied || source.failure().errorNumber == EACCES ||
                     source.failure().errorNumber == EPERM;
    }
    if (denied && tap->keyboardCount() == 0)
        return Failure{tr("No permission to read the keyboards in /dev/input: Velmora "
                          "must run as root to remap keys."),
                       EACCES};
    if (monitor) tap->watchForNewKeyboards(std::move(monitor));
    return tap;
}

KeyboardTap::KeyboardTap(std::unique_ptr<KeyboardSink> sink, TapCallback callback, void *userInfo,
                         std::chrono::milliseconds stallLimit)
    : m_sink(std::move(sink)), m_engine(callback, userInfo, *this), m_stallLimit(stallLimit),
      m_feedbackNotifier(
          std::make_unique<QSocketNotifier>(m_sink->feedbackFd(), QSocketNotifier::Read)),
      m_watchdog(stallLimit, [this] { failOpen(); }) {
    connect(m_feedbackNotifier.get(), &QSocketNotifier::activated, this, &KeyboardTap::onFeedback);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        m_watchdog.beat();
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

void KeyboardTap::watchForNewKeyboards(std::unique_ptr<KeyboardMonitor> monitor) {
    m_monitor = std::move(monitor);
    connect(m_monitor.get(), &KeyboardMonitor::deviceAdded, this, &KeyboardTap::openKeyboard);
}

void KeyboardTap::openKeyboard(const QString &path) {
    for (const auto &keyboard : m_keyboards) {
        if (keyboard->path != path) continue;
        // A keyboard plugged in during the start-up scan is reported by the monitor as
        // well. But a keyboard unplugged and plugged in again can come back under its old
        // node before its old handle has been read to its end: then the handle is dead.
        if (keyboard->source->isPresent()) return;
        removeKeyboard(keyboard.get());
        break;
    }
    if (auto source = LibevdevKeyboardSource::open(path)) addKeyboard(source.take(), path);
}

void KeyboardTap::onReadable(Keyboard *keyboard) {
    m_watchdog.beat();
    m_readBuffer.clear();
    if (keyboard->source->readEvents(m_readBuffer) == ReadStatus::Gone) {
        removeKeyboard(keyboard);
        return;
    }
    // Not ours (yet): the system has seen these events already.
    if (!keyboard->grabbed || m_watchdog.tripped()) {
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
    if (keyboard.grabbed || m_stopped || m_panicReleased || m_stalled || m_watchdog.tripped())
        return;
    // Grabbing under a held key would leave the system waiting for its release.
    if (keyboard.source->keysDown().any()) return;
    {
        std::lock_guard lock(m_grabMutex);
        if (!keyboard.source->grab()) return;
        keyboard.grabbed = true;
    }
    m_engine.addSource(keyboard.id);
    m_watchdog.setArmed(true);
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
    m_watchdog.setArmed(false);
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
    m_watchdog.setArmed(anyGrabbed());
    updateStatus();
}

bool KeyboardTap::anyGrabbed() const {
    for (const auto &keyboard : m_keyboards)
        if (keyboard->grabbed) return true;
    return false;
}

// Watchdog thread: the main thread is stuck. Let the keyboards go and lift every key of
// the virtual keyboard, so the person can type even if Velmora never comes back.
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
    m_watchdog.setArmed(false);
    // Whatever the main thread emitted on its way out of the stall is lifted too.
    m_sink->releaseAllKeys();
    m_engine.notifyDisabled();
    m_stalled = true;
    updateStatus();
    QTimer::singleShot(m_stallLimit, this, &KeyboardTap::rearmAfterStall);
}

void KeyboardTap::rearmAfterStall() {
    m_stalled = false;
    m_watchdog.reset();
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
