#include "platform/linux/broker/TapEngine.h"

#include "platform/linux/broker/InputEvent.h"

#include "keymap/KeyCodeTable.h"
#include "keymap/ModifierFlags.h"
#include "platform/linux/broker/KeyboardEvent.h"
#include "platform/linux/broker/ModifierWord.h"

#include <memory>

namespace {

constexpr int32_t Released = 0;
constexpr int32_t Pressed = 1;
constexpr int32_t Repeated = 2;

constexpr uint16_t PanicChord[] = {KEY_BACKSPACE, KEY_ESC, KEY_ENTER};

// Keypad keys that type digits only while NumLock is on.
bool dependsOnNumLock(uint16_t code) {
    return (code >= KEY_KP7 && code <= KEY_KP9) || (code >= KEY_KP4 && code <= KEY_KP6) ||
           (code >= KEY_KP1 && code <= KEY_KPDOT);
}

bool isShift(uint16_t code) { return code == KEY_LEFTSHIFT || code == KEY_RIGHTSHIFT; }

bool isSyn(const input_event &event, uint16_t code) {
    return event.type == EV_SYN && event.code == code;
}

}  // namespace

TapEngine::TapEngine(TapCallback callback, void *userInfo, TapOutput &output)
    : m_callback(callback), m_userInfo(userInfo), m_output(output) {}

void TapEngine::addSource(int source) { m_sources.try_emplace(source); }

void TapEngine::removeSource(int source) {
    auto it = m_sources.find(source);
    if (it == m_sources.end()) return;
    for (const auto &[code, key] : it->second.held) {
        --m_physicalDown[code];
        releaseOutput({source, code}, key);
    }
    m_sources.erase(it);
    if (m_shiftLifted && !remappedKeypadHeld()) restoreShift();
    closeFrame();
    flush();
}

TapEngine::Verdict TapEngine::feed(int id, std::span<const input_event> events) {
    auto it = m_sources.find(id);
    if (it == m_sources.end()) return Verdict::Continue;
    Source &source = it->second;
    Verdict verdict = Verdict::Continue;
    for (const input_event &event : events) {
        if (isSyn(event, SYN_DROPPED)) {
            source.pending.clear();
            source.dropping = true;
        } else if (isSyn(event, SYN_REPORT) && source.dropping) {
            // Events after this point are whole again; what was lost is made up by
            // resync(), and anything applied twice is ignored as a repeat press or a
            // release of a key that is not held.
            source.dropping = false;
            verdict = Verdict::NeedsResync;
        } else if (isSyn(event, SYN_REPORT)) {
            if (processFrame(id, source)) return Verdict::Panic;
        } else if (!source.dropping) {
            source.pending.push_back(event);
        }
    }
    return verdict;
}

bool TapEngine::processFrame(int id, Source &source) {
    m_frame.swap(source.pending);
    source.pending.clear();
    for (const input_event &event : m_frame) {
        // Only keys and a pointer's motion go on. A keyboard's LED events, in particular, are
        // the LED states written to it, ours included, coming back: passed on, they would be
        // written back to it, and so on forever.
        if (event.type == EV_REL) {
            m_out.push_back(event);
        } else if (event.type == EV_KEY && handleKey(id, source, event.code, event.value)) {
            releaseAll();
            return true;
        }
    }
    closeFrame();
    flush();
    return false;
}

TapEngine::Verdict TapEngine::resync(int id, const KeyBits &keysDown) {
    auto it = m_sources.find(id);
    if (it == m_sources.end()) return Verdict::Continue;
    Source &source = it->second;
    std::vector<uint16_t> stale;
    for (const auto &[code, key] : source.held)
        if (!keysDown.test(code)) stale.push_back(code);
    for (uint16_t code : stale) handleKey(id, source, code, Released);
    for (uint16_t code = 1; code < KEY_CNT; ++code) {
        if (!keysDown.test(code) || source.held.contains(code)) continue;
        if (handleKey(id, source, code, Pressed)) {
            releaseAll();
            return Verdict::Panic;
        }
    }
    closeFrame();
    flush();
    return Verdict::Continue;
}

bool TapEngine::handleKey(int id, Source &source, uint16_t code, int32_t value) {
    if (code >= KEY_CNT) return false;
    switch (value) {
    case Pressed:
        return press(id, source, code);
    case Released:
        release(id, source, code);
        return false;
    case Repeated:
        repeat(id, source, code);
        return false;
    default:
        return false;
    }
}

bool TapEngine::press(int id, Source &source, uint16_t code) {
    // A second press without a release (after a resync) changes nothing.
    if (source.held.contains(code)) return false;
    ++m_physicalDown[code];
    if (panicChordHeld()) return true;
    const uint16_t output = decide(TapEvent::KeyDown, code);
    const HeldKey key{output, output != code};
    source.held.emplace(code, key);
    if (output == NoOutput) return false;
    if (key.remapped && dependsOnNumLock(output)) m_lastSlotKey = code;
    if (m_outputDown[output]++ == 0) emitKey(output, Pressed, key.remapped);
    m_repeatOwner[output] = {id, code};
    return false;
}

void TapEngine::release(int id, Source &source, uint16_t code) {
    auto it = source.held.find(code);
    // A release of a key we never saw pressed: nothing was emitted for it.
    if (it == source.held.end()) return;
    const HeldKey key = it->second;
    source.held.erase(it);
    --m_physicalDown[code];
    // The callback hears of the release, but what is released is what the press
    // emitted: a switch flipped in between must not leave a key down.
    decide(TapEvent::KeyUp, code);
    releaseOutput({id, code}, key);
}

void TapEngine::repeat(int id, Source &source, uint16_t code) {
    auto it = source.held.find(code);
    if (it == source.held.end()) return;
    const HeldKey key = it->second;
    if (decide(TapEvent::KeyDown, code) == NoOutput || key.output == NoOutput) return;
    Holder &owner = m_repeatOwner[key.output];
    if (owner.source == NoSource) owner = {id, code};
    if (owner != Holder{id, code} || (isShift(key.output) && m_shiftLifted)) return;
    push(EV_KEY, key.output, Repeated);
}

void TapEngine::releaseOutput(Holder holder, const HeldKey &key) {
    if (key.output == NoOutput) return;
    if (m_repeatOwner[key.output] == holder) m_repeatOwner[key.output] = {};
    if (--m_outputDown[key.output] == 0) emitKey(key.output, Released, key.remapped);
}

uint16_t TapEngine::decide(uint32_t type, uint16_t code) {
    const auto virtualCode = KeyCodeTable::virtualFromNative(code);
    if (!virtualCode || ModifierWord::isModifierKey(code)) return code;
    KeyboardEvent incoming(*virtualCode, type == TapEvent::KeyDown, modifierFlags(code));
    TapEvent *result = m_callback(nullptr, type, &incoming, m_userInfo);
    if (result == &incoming) return code;
    if (!result) return NoOutput;
    const std::unique_ptr<TapEvent> replacement(result);
    return KeyCodeTable::nativeFromVirtual(replacement->keyCode()).value_or(NoOutput);
}

uint64_t TapEngine::modifierFlags(uint16_t code) const {
    uint64_t flags = ModifierFlags::NonCoalesced | ModifierWord::keyClassBits(code);
    if (m_capsLock) flags |= ModifierFlags::AlphaShift;
    for (uint16_t modifier : {KEY_LEFTCTRL, KEY_RIGHTCTRL, KEY_LEFTSHIFT, KEY_RIGHTSHIFT,
                              KEY_LEFTALT, KEY_RIGHTALT, KEY_LEFTMETA, KEY_RIGHTMETA, KEY_FN})
        if (m_physicalDown[modifier] > 0) flags |= ModifierWord::heldBits(modifier);
    return flags;
}

bool TapEngine::panicChordHeld() const {
    for (uint16_t code : PanicChord)
        if (m_physicalDown[code] == 0) return false;
    return true;
}

void TapEngine::emitKey(uint16_t code, int32_t value, bool remapped) {
    if (code == KEY_NUMLOCK && value == Pressed) m_numLock.personToggled();
    // NumLock is left on afterwards, so that repeats and the game's own autorepeat of a
    // held key type digits too. A NumLock key held down cannot be pressed again.
    const bool remappedKeypad = remapped && dependsOnNumLock(code);
    if (remappedKeypad && value == Pressed) liftShift();
    if (remappedKeypad && value == Pressed && m_outputDown[KEY_NUMLOCK] == 0 &&
        m_numLock.turnOnForKeypad())
        pushNumLockToggle();
    // A Shift held back stays up until the remapped keypad keys are; its release has nothing
    // to lift.
    if (isShift(code) && m_shiftLifted) return;
    push(EV_KEY, code, value);
    if (remappedKeypad && value == Released && !remappedKeypadHeld()) restoreShift();
}

// Shift turns a keypad key into its other meaning (keypad 7 into Home), so a remapped keypad
// key goes out with Shift up, as the slot's keypad key alone, and Shift comes back once the
// last remapped keypad key is up.
void TapEngine::liftShift() {
    if (m_shiftLifted) return;
    m_shiftLifted = true;
    pushShifts(Released);
}

void TapEngine::restoreShift() {
    if (!m_shiftLifted) return;
    m_shiftLifted = false;
    pushShifts(Pressed);
}

void TapEngine::pushShifts(int32_t value) {
    closeFrame();
    for (uint16_t shift : {KEY_LEFTSHIFT, KEY_RIGHTSHIFT})
        if (m_outputDown[shift] > 0) push(EV_KEY, shift, value);
    closeFrame();
}

void TapEngine::pushNumLockToggle() {
    closeFrame();
    for (const input_event &event : numLockToggle()) m_out.push_back(event);
    m_frameStart = m_out.size();
}

void TapEngine::push(uint16_t type, uint16_t code, int32_t value) {
    m_out.push_back(makeInputEvent(type, code, value));
}

void TapEngine::closeFrame() {
    if (m_out.size() == m_frameStart) return;
    push(EV_SYN, SYN_REPORT, 0);
    m_frameStart = m_out.size();
}

void TapEngine::flush() {
    if (!m_out.empty()) m_output.emitEvents(m_out);
    m_out.clear();
    m_frameStart = 0;
}

void TapEngine::feedback(std::span<const input_event> events) {
    int numLock = -1;
    for (const input_event &event : events) {
        if (event.type != EV_LED) continue;
        const bool on = event.value != 0;
        if (event.code == LED_NUML) numLock = on;
        if (event.code == LED_CAPSL) m_capsLock = on;
        m_output.forwardLed(event.code, on);
    }
    // Only the latest state counts; whatever was on its way before it is over.
    if (numLock >= 0) m_numLock.reported(numLock == 1);
}

void TapEngine::seedLed(uint16_t led, bool on) {
    if (led == LED_NUML) m_numLock.seed(on);
    if (led == LED_CAPSL) m_capsLock = on;
}

void TapEngine::tick() {
    m_numLock.tick();
    if (m_numLock.isHeld() && !remappedKeypadHeld() && !stillRemapping()) giveBackNumLock();
}

bool TapEngine::remappedKeypadHeld() const {
    for (const auto &[id, source] : m_sources)
        for (const auto &[code, key] : source.held)
            if (key.remapped && dependsOnNumLock(key.output)) return true;
    return false;
}

// Asks the callback what a release of the last remapped slot key would give now: the same
// answer for every slot key while the switch is on and the game in front. A release, as
// the callback may follow the game's key presses (the chat's Enter and Escape).
bool TapEngine::stillRemapping() {
    const uint16_t output = decide(TapEvent::KeyUp, m_lastSlotKey);
    return output != m_lastSlotKey && dependsOnNumLock(output);
}

void TapEngine::giveBackNumLock() {
    if (m_numLock.giveBack()) pushNumLockToggle();
    flush();
}

void TapEngine::releaseAll() {
    for (auto &[id, source] : m_sources)
        for (const auto &[code, key] : source.held) releaseOutput({id, code}, key);
    closeFrame();
    giveBackNumLock();
    forgetAll();
}

void TapEngine::forgetAll() {
    m_sources.clear();
    m_physicalDown.fill(0);
    m_outputDown.fill(0);
    m_repeatOwner.fill({});
    m_shiftLifted = false;
    m_out.clear();
    m_frameStart = 0;
}

void TapEngine::notifyDisabled() {
    KeyboardEvent none(0, false);
    TapEvent *result = m_callback(nullptr, TapEvent::TapDisabledByTimeout, &none, m_userInfo);
    if (result != &none) delete result;
}

bool TapEngine::anyKeyHeld() const {
    for (const auto &[id, source] : m_sources)
        if (!source.held.empty()) return true;
    return false;
}
