#include "platform/linux/broker/KeyboardTap.h"

#include "platform/linux/broker/BrokerLog.h"

#include <algorithm>

struct KeyboardTap::Keyboard {
    int id;
    std::unique_ptr<KeyboardSource> source;
    // Written on the loop's thread under m_grabMutex; the watchdog reads it under the lock.
    bool grabbed = false;
};

namespace {

// A mouse's buttons, which go to the virtual pointer with the motion.
bool isButton(const input_event &event) {
    return event.type == EV_KEY && event.code >= BTN_MISC && event.code < KEY_OK;
}

}  // namespace

KeyboardTap::KeyboardTap(std::unique_ptr<KeyboardSink> keyboard, PointerFactory makePointer,
                         TapCallback callback, void *userInfo, std::chrono::milliseconds stallLimit)
    : m_keyboardSink(std::move(keyboard)), m_makePointer(std::move(makePointer)),
      m_engine(callback, userInfo, *this), m_stallLimit(stallLimit),
      m_watchdog(stallLimit, [this] { failOpen(); }) {}

KeyboardTap::~KeyboardTap() { shutdown(); }

void KeyboardTap::addKeyboard(std::unique_ptr<KeyboardSource> source) {
    const auto same = std::ranges::find_if(m_keyboards, [&](const auto &keyboard) {
        return keyboard->source->identity() == source->identity();
    });
    if (same != m_keyboards.end()) {
        // Seen by both the scan and the watch, or back under a reused identity.
        if ((*same)->source->isPresent()) return;
        removeKeyboard(**same);
    }
    if (source->hasPointer() && !m_pointerSink) {
        auto pointer = m_makePointer();
        if (!pointer) {
            brokerLog("no virtual pointer, so \"%s\", which has one, is left alone",
                      source->name().c_str());
            return;
        }
        std::lock_guard lock(m_grabMutex);
        m_pointerSink = std::move(pointer);
    }
    if (!m_ledsSeeded) {
        for (uint16_t led : {LED_NUML, LED_CAPSL}) m_engine.seedLed(led, source->ledOn(led));
        m_ledsSeeded = true;
    }
    auto keyboard = std::make_unique<Keyboard>(Keyboard{m_nextId++, std::move(source)});
    Keyboard &added = *keyboard;
    {
        std::lock_guard lock(m_grabMutex);
        m_keyboards.push_back(std::move(keyboard));
    }
    brokerLog("found keyboard \"%s\"", added.source->name().c_str());
    tryGrab(added);
}

KeyboardTap::Status KeyboardTap::status() const {
    return {int(m_keyboards.size()), m_panicReleased, m_stalled};
}

bool KeyboardTap::wantsKeyboards() const {
    return !m_stopped && !m_panicReleased && m_seatActive && !m_stalled && !m_watchdog.tripped();
}

void KeyboardTap::fillPoll(std::vector<pollfd> &fds) const {
    fds.push_back({m_keyboardSink->feedbackFd(), POLLIN, 0});
    // A keyboard that is not wanted is not read: the events it queues meanwhile belong to
    // the system, and are dropped when it is taken back.
    const short events = wantsKeyboards() ? POLLIN : 0;
    for (const auto &keyboard : m_keyboards) fds.push_back({keyboard->source->fd(), events, 0});
}

void KeyboardTap::serve(std::span<const pollfd> fds) {
    for (const pollfd &ready : fds) {
        if (ready.revents == 0) continue;
        if (ready.fd == m_keyboardSink->feedbackFd())
            onFeedback();
        else if (Keyboard *keyboard = keyboardWithFd(ready.fd))
            onReadable(*keyboard);
    }
}

KeyboardTap::Keyboard *KeyboardTap::keyboardWithFd(int fd) const {
    const auto it = std::ranges::find_if(m_keyboards, [fd](const auto &keyboard) {
        return keyboard->source->fd() == fd;
    });
    return it == m_keyboards.end() ? nullptr : it->get();
}

void KeyboardTap::beat(Clock::time_point now) {
    m_watchdog.beat(now);
    if (m_watchdog.tripped() && !m_stalled) recoverFromStall(now);
    if (m_stalled && now >= m_rearmAt) {
        m_stalled = false;
        m_watchdog.reset();
        tryGrabAll();
    }
    if (now < m_nextTick) return;
    m_nextTick = now + m_stallLimit / 5;
    m_engine.tick();
}

void KeyboardTap::onReadable(Keyboard &keyboard) {
    m_readBuffer.clear();
    if (keyboard.source->readEvents(m_readBuffer) == ReadStatus::Gone) {
        removeKeyboard(keyboard);
        return;
    }
    // Not ours (yet): the system has seen these events already.
    if (!keyboard.grabbed || !wantsKeyboards()) {
        tryGrab(keyboard);
        return;
    }
    handleVerdict(keyboard, m_engine.feed(keyboard.id, m_readBuffer));
}

void KeyboardTap::handleVerdict(Keyboard &keyboard, TapEngine::Verdict verdict) {
    switch (verdict) {
    case TapEngine::Verdict::Continue:
        return;
    case TapEngine::Verdict::NeedsResync:
        handleVerdict(keyboard, m_engine.resync(keyboard.id, keyboard.source->keysDown()));
        return;
    case TapEngine::Verdict::Panic:
        brokerLog("panic chord, keyboards released");
        ungrabAll();
        m_panicReleased = true;
        return;
    }
}

void KeyboardTap::onFeedback() {
    m_readBuffer.clear();
    if (m_keyboardSink->readFeedback(m_readBuffer) == ReadStatus::Gone) {
        brokerLog("the virtual keyboard went away");
        return;
    }
    m_engine.feedback(m_readBuffer);
}

void KeyboardTap::tryGrab(Keyboard &keyboard) {
    if (keyboard.grabbed || !wantsKeyboards()) return;
    // Grabbing under a held key would leave the system waiting for its release.
    if (keyboard.source->keysDown().any()) return;
    {
        std::lock_guard lock(m_grabMutex);
        if (!keyboard.source->grab()) return;
        keyboard.grabbed = true;
    }
    // What came before the grab was the system's. A key pressed since is made up by the resync.
    do {
        m_readBuffer.clear();
    } while (keyboard.source->readEvents(m_readBuffer) == ReadStatus::Ok && !m_readBuffer.empty());
    m_engine.addSource(keyboard.id);
    m_watchdog.setArmed(true);
    if (const KeyBits down = keyboard.source->keysDown(); down.any())
        handleVerdict(keyboard, m_engine.resync(keyboard.id, down));
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

void KeyboardTap::removeKeyboard(Keyboard &keyboard) {
    brokerLog("keyboard \"%s\" went away", keyboard.source->name().c_str());
    m_engine.removeSource(keyboard.id);
    std::lock_guard lock(m_grabMutex);
    std::erase_if(m_keyboards, [&](const auto &k) { return k.get() == &keyboard; });
    if (!needsPointer()) m_pointerSink.reset();
    const bool anyGrabbed =
        std::ranges::any_of(m_keyboards, [](const auto &k) { return k->grabbed; });
    m_watchdog.setArmed(anyGrabbed);
}

bool KeyboardTap::needsPointer() const {
    return std::ranges::any_of(m_keyboards,
                               [](const auto &keyboard) { return keyboard->source->hasPointer(); });
}

void KeyboardTap::rearm() {
    m_panicReleased = false;
    tryGrabAll();
}

void KeyboardTap::setSeatActive(bool active) {
    if (active == m_seatActive) return;
    if (!active) {
        m_engine.releaseAll();
        ungrabAll();
    }
    m_seatActive = active;
    tryGrabAll();
}

void KeyboardTap::shutdown() {
    if (m_stopped) return;
    m_engine.releaseAll();
    ungrabAll();
    m_stopped = true;
}

// The watchdog, on its own thread: the loop is stuck. Let the keyboards go and lift every key,
// so the person can type even if the broker never comes back.
void KeyboardTap::failOpen() {
    std::lock_guard lock(m_grabMutex);
    for (const auto &keyboard : m_keyboards)
        if (keyboard->grabbed) keyboard->source->ungrab();
    m_keyboardSink->releaseAllKeys();
    if (m_pointerSink) m_pointerSink->releaseAllKeys();
    if (m_engine.takeBackNumLock()) m_keyboardSink->toggleNumLock();
}

// Back on the loop after the watchdog let go.
void KeyboardTap::recoverFromStall(Clock::time_point now) {
    brokerLog("the broker stalled, keyboards were released");
    {
        std::lock_guard lock(m_grabMutex);
        for (const auto &keyboard : m_keyboards) keyboard->grabbed = false;
    }
    m_engine.forgetAll();
    m_watchdog.setArmed(false);
    // Whatever the loop emitted on its way out of the stall is lifted too.
    m_keyboardSink->releaseAllKeys();
    if (m_pointerSink) m_pointerSink->releaseAllKeys();
    m_engine.notifyDisabled();
    m_stalled = true;
    m_rearmAt = now + m_stallLimit;
}

void KeyboardTap::emitEvents(std::span<const input_event> events) {
    if (!m_pointerSink) return write(*m_keyboardSink, events);
    // Each device gets its share of a frame, and a frame end when it got anything.
    m_keyboardOut.clear();
    m_pointerOut.clear();
    size_t keyboardFrame = 0, pointerFrame = 0;
    for (const input_event &event : events) {
        if (event.type == EV_SYN) {
            if (m_keyboardOut.size() > keyboardFrame) m_keyboardOut.push_back(event);
            if (m_pointerOut.size() > pointerFrame) m_pointerOut.push_back(event);
            keyboardFrame = m_keyboardOut.size();
            pointerFrame = m_pointerOut.size();
        } else if (event.type == EV_REL || isButton(event)) {
            m_pointerOut.push_back(event);
        } else {
            m_keyboardOut.push_back(event);
        }
    }
    if (!m_keyboardOut.empty()) write(*m_keyboardSink, m_keyboardOut);
    std::lock_guard lock(m_grabMutex);
    if (!m_pointerOut.empty()) write(*m_pointerSink, m_pointerOut);
}

void KeyboardTap::write(KeyboardSink &sink, std::span<const input_event> events) {
    if (sink.writeEvents(events) || m_writeFailed) return;
    m_writeFailed = true;
    brokerLog("writing to a virtual device failed");
}

void KeyboardTap::forwardLed(uint16_t led, bool on) {
    // While another session is in front, its own keyboard handling sets the LEDs.
    if (!m_seatActive) return;
    for (const auto &keyboard : m_keyboards) keyboard->source->setLed(led, on);
}
