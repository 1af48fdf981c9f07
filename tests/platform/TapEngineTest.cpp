#include "platform/linux/broker/InputEvent.h"
#include "platform/linux/broker/TapEngine.h"

#include "keymap/ModifierFlags.h"
#include "tests/platform/OutputTracker.h"
#include "tests/platform/TestRemapper.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <utility>

namespace {

using Keys = std::vector<std::pair<uint16_t, int32_t>>;

constexpr uint16_t VirtualQ = 12, VirtualW = 13, VirtualKeypad4 = 86;

input_event event(uint16_t type, uint16_t code, int32_t value) {
    return makeInputEvent(type, code, value);
}

std::vector<input_event> keyFrame(uint16_t code, int32_t value) {
    return {event(EV_KEY, code, value), event(EV_SYN, SYN_REPORT, 0)};
}

struct RecordingOutput : TapOutput {
    OutputTracker tracker;
    std::vector<std::pair<uint16_t, bool>> leds;
    void emitEvents(std::span<const input_event> events) override { tracker.consume(events); }
    void forwardLed(uint16_t led, bool on) override { leds.emplace_back(led, on); }
};

class TapEngineTest : public ::testing::Test {
protected:
    TapEngineTest() {
        remapper.keyMap = {{VirtualQ, VirtualKeypad4}, {VirtualW, VirtualKeypad4}};
        engine.seedLed(LED_NUML, true);
        engine.addSource(0);
        engine.addSource(1);
    }

    TapEngine::Verdict key(uint16_t code, int32_t value, int source = 0) {
        return engine.feed(source, keyFrame(code, value));
    }
    const Keys &keys() const { return output.tracker.keys(); }
    void expectClean() const {
        EXPECT_TRUE(output.tracker.faults().empty()) << output.tracker.faults().front();
        EXPECT_TRUE(output.tracker.framed());
    }

    TestRemapper remapper;
    RecordingOutput output;
    TapEngine engine{&TestRemapper::callback, &remapper, output};
};

TEST_F(TapEngineTest, RemapsPressAndReleaseOfSlotKey) {
    key(KEY_Q, 1);
    key(KEY_Q, 0);
    EXPECT_EQ(keys(), (Keys{{KEY_KP4, 1}, {KEY_KP4, 0}}));
    ASSERT_EQ(remapper.calls.size(), 2u);
    EXPECT_EQ(remapper.calls[0].type, TapEvent::KeyDown);
    EXPECT_EQ(remapper.calls[0].keyCode, VirtualQ);
    EXPECT_EQ(remapper.calls[0].flags, ModifierFlags::NonCoalesced);
    EXPECT_EQ(remapper.calls[1].type, TapEvent::KeyUp);
    expectClean();
}

// Keys, untranslatable ones too, and a pointer's motion go on in their frame; scan codes and
// the LED states written to a keyboard stay behind.
TEST_F(TapEngineTest, PassesKeysAndPointerMotionInTheirFrames) {
    const std::vector<input_event> frame = {event(EV_MSC, MSC_SCAN, 0x70004),
                                            event(EV_LED, LED_NUML, 1),
                                            event(EV_KEY, KEY_A, 1),
                                            event(EV_KEY, KEY_PROG1, 1),  // no virtual code
                                            event(EV_REL, REL_X, 3),
                                            event(EV_SYN, SYN_REPORT, 0)};
    engine.feed(0, frame);
    const auto &out = output.tracker.events();
    ASSERT_EQ(out.size(), 4u);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].type, frame[i + 2].type);
        EXPECT_EQ(out[i].code, frame[i + 2].code);
        EXPECT_EQ(out[i].value, frame[i + 2].value);
    }
    // Only A has a virtual code to show the callback.
    ASSERT_EQ(remapper.calls.size(), 1u);
    EXPECT_EQ(remapper.calls[0].keyCode, 0);
}

TEST_F(TapEngineTest, FrameWithoutOutputIsNotEmitted) {
    remapper.dropped = {VirtualQ};
    key(KEY_Q, 1);
    key(KEY_Q, 0);
    EXPECT_TRUE(output.tracker.events().empty());
}

TEST_F(TapEngineTest, AutorepeatIsAKeyDownEmittedAsRepeat) {
    key(KEY_Q, 1);
    key(KEY_Q, 2);
    key(KEY_Q, 2);
    key(KEY_Q, 0);
    EXPECT_EQ(keys(), (Keys{{KEY_KP4, 1}, {KEY_KP4, 2}, {KEY_KP4, 2}, {KEY_KP4, 0}}));
    ASSERT_EQ(remapper.calls.size(), 4u);
    EXPECT_EQ(remapper.calls[2].type, TapEvent::KeyDown);
    expectClean();
}

TEST_F(TapEngineTest, ModifierKeysPassThroughAndOnlyChangeTheWord) {
    using namespace ModifierFlags;
    struct Case {
        std::vector<uint16_t> held;
        uint16_t key;
        uint64_t flags;
    };
    const Case cases[] = {
        {{KEY_LEFTSHIFT}, KEY_A, NonCoalesced | Shift | LeftShift},
        {{KEY_RIGHTSHIFT, KEY_LEFTSHIFT}, KEY_A, NonCoalesced | Shift | LeftShift | RightShift},
        {{KEY_RIGHTCTRL}, KEY_A, NonCoalesced | Control | RightControl},
        {{KEY_LEFTALT, KEY_RIGHTMETA},
         KEY_A,
         NonCoalesced | Alternate | LeftAlternate | Command | RightCommand},
        {{}, KEY_KP1, NonCoalesced | NumericPad},
        {{}, KEY_UP, NonCoalesced | NumericPad | Function},
        {{}, KEY_F5, NonCoalesced | Function},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        remapper.calls.clear();
        output.tracker.clear();
        for (uint16_t modifier : c.held) key(modifier, 1);
        key(c.key, 1);
        ASSERT_EQ(remapper.calls.size(), 1u) << "modifier keys must not reach the callback";
        EXPECT_EQ(remapper.calls[0].flags, c.flags);
        key(c.key, 0);
        for (uint16_t modifier : c.held) key(modifier, 0);
        EXPECT_EQ(output.tracker.keys().size(), 2 * (c.held.size() + 1));
    }
    expectClean();
}

TEST_F(TapEngineTest, CapsLockLedSetsAlphaShift) {
    engine.feedback(std::vector{event(EV_LED, LED_CAPSL, 1)});
    key(KEY_A, 1);
    ASSERT_EQ(remapper.calls.size(), 1u);
    EXPECT_TRUE(remapper.calls[0].flags & ModifierFlags::AlphaShift);
}

TEST_F(TapEngineTest, ReleaseUndoesWhatThePressEmitted) {
    struct Case {
        const char *name;
        bool onAtPress;
        bool onAtRelease;
        Keys expected;
    };
    const Case cases[] = {
        {"switched off while held", true, false, {{KEY_KP4, 1}, {KEY_KP4, 0}}},
        {"switched on while held", false, true, {{KEY_Q, 1}, {KEY_Q, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        output.tracker.clear();
        remapper.on = c.onAtPress;
        key(KEY_Q, 1);
        remapper.on = c.onAtRelease;
        key(KEY_Q, 0);
        EXPECT_EQ(keys(), c.expected);
        EXPECT_FALSE(output.tracker.anyKeyDown());
    }
    expectClean();
}

// Shift would make a keypad key its other key (keypad 7 Home), so it is up at the output for as
// long as a remapped keypad key is down, and back afterwards if still held.
TEST_F(TapEngineTest, ShiftIsUpWhileARemappedKeypadKeyIsDown) {
    struct Case {
        const char *name;
        Keys typed;
        Keys expected;
    };
    const Case cases[] = {
        {"Shift held first",
         {{KEY_LEFTSHIFT, 1}, {KEY_Q, 1}, {KEY_LEFTSHIFT, 2}, {KEY_Q, 0}, {KEY_LEFTSHIFT, 0}},
         {{KEY_LEFTSHIFT, 1},
          {KEY_LEFTSHIFT, 0},
          {KEY_KP4, 1},
          {KEY_KP4, 0},
          {KEY_LEFTSHIFT, 1},
          {KEY_LEFTSHIFT, 0}}},
        {"Shift pressed and let go meanwhile",
         {{KEY_Q, 1}, {KEY_RIGHTSHIFT, 1}, {KEY_RIGHTSHIFT, 0}, {KEY_Q, 0}},
         {{KEY_KP4, 1}, {KEY_KP4, 0}}},
        {"a key not remapped keeps Shift",
         {{KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0}},
         {{KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        output.tracker.clear();
        for (const auto &[code, value] : c.typed) key(code, value);
        EXPECT_EQ(keys(), c.expected);
    }
    expectClean();
}

TEST_F(TapEngineTest, KeysSharingAnOutputAreCountedAndRepeatFromOneSource) {
    key(KEY_Q, 1, 0);
    key(KEY_W, 1, 1);  // same keypad key, other keyboard: already down
    key(KEY_W, 2, 1);  // not the key that owns the repeats
    key(KEY_Q, 2, 0);
    key(KEY_Q, 0, 0);  // W still holds it
    EXPECT_TRUE(output.tracker.isDown(KEY_KP4));
    key(KEY_W, 2, 1);  // the owner is gone; W takes over
    key(KEY_W, 0, 1);
    EXPECT_EQ(keys(), (Keys{{KEY_KP4, 1}, {KEY_KP4, 2}, {KEY_KP4, 2}, {KEY_KP4, 0}}));
    expectClean();
}

TEST_F(TapEngineTest, RemovedSourceReleasesItsKeys) {
    key(KEY_Q, 1, 0);
    key(KEY_LEFTSHIFT, 1, 0);
    key(KEY_A, 1, 1);
    engine.removeSource(0);
    EXPECT_FALSE(output.tracker.isDown(KEY_KP4));
    EXPECT_FALSE(output.tracker.isDown(KEY_LEFTSHIFT));
    EXPECT_TRUE(output.tracker.isDown(KEY_A));
    // The modifier word no longer carries the unplugged Shift.
    key(KEY_S, 1, 1);
    EXPECT_EQ(remapper.calls.back().flags, ModifierFlags::NonCoalesced);
    expectClean();
}

TEST_F(TapEngineTest, PanicChordReleasesEverything) {
    key(KEY_Q, 1, 0);
    key(KEY_LEFTCTRL, 1, 1);
    EXPECT_EQ(key(KEY_BACKSPACE, 1, 0), TapEngine::Verdict::Continue);
    EXPECT_EQ(key(KEY_ESC, 1, 1), TapEngine::Verdict::Continue);
    EXPECT_EQ(key(KEY_ENTER, 1, 0), TapEngine::Verdict::Panic);
    EXPECT_FALSE(output.tracker.anyKeyDown());
    for (const auto &[code, value] : keys()) EXPECT_NE(code, KEY_ENTER);
    EXPECT_FALSE(engine.anyKeyHeld());
    expectClean();
}

TEST_F(TapEngineTest, PanicChordInOneFrameStillReleasesCleanly) {
    engine.feed(0, std::vector{event(EV_KEY, KEY_BACKSPACE, 1), event(EV_KEY, KEY_ESC, 1),
                               event(EV_KEY, KEY_ENTER, 1), event(EV_SYN, SYN_REPORT, 0)});
    EXPECT_FALSE(output.tracker.anyKeyDown());
    expectClean();
}

TEST_F(TapEngineTest, SynDroppedIsResynchronised) {
    key(KEY_Q, 1);
    key(KEY_A, 1);
    const std::vector<input_event> lost = {event(EV_SYN, SYN_DROPPED, 0),
                                           event(EV_KEY, KEY_Z, 1),  // half a frame, ignored
                                           event(EV_SYN, SYN_REPORT, 0)};
    EXPECT_EQ(engine.feed(0, lost), TapEngine::Verdict::NeedsResync);
    EXPECT_FALSE(output.tracker.isDown(KEY_Z));
    KeyBits now;
    now.set(KEY_A);
    now.set(KEY_S);
    EXPECT_EQ(engine.resync(0, now), TapEngine::Verdict::Continue);
    EXPECT_FALSE(output.tracker.isDown(KEY_KP4));
    EXPECT_TRUE(output.tracker.isDown(KEY_A));
    EXPECT_TRUE(output.tracker.isDown(KEY_S));
    key(KEY_S, 0);
    key(KEY_A, 0);
    EXPECT_FALSE(output.tracker.anyKeyDown());
    expectClean();
}

TEST_F(TapEngineTest, LedWritesReachThePhysicalKeyboards) {
    engine.feedback(std::vector{event(EV_LED, LED_CAPSL, 1), event(EV_SYN, SYN_REPORT, 0),
                                event(EV_LED, LED_SCROLLL, 0)});
    EXPECT_EQ(output.leds,
              (std::vector<std::pair<uint16_t, bool>>{{LED_CAPSL, true}, {LED_SCROLLL, false}}));
}

TEST_F(TapEngineTest, DisabledNotificationReachesTheCallback) {
    engine.notifyDisabled();
    ASSERT_EQ(remapper.calls.size(), 1u);
    EXPECT_EQ(remapper.calls[0].type, TapEvent::TapDisabledByTimeout);
}

// NumLock: what goes out for a script of key presses, LED reports the system sends back
// (in time, late, merged into none, lost) and ticks, starting from either state.
struct NumLockStep {
    enum Kind { Press, Release, Repeat, Report, Tick, Switch } kind;
    int arg = 0;
};
NumLockStep press(uint16_t code) { return {NumLockStep::Press, code}; }
NumLockStep release(uint16_t code) { return {NumLockStep::Release, code}; }
NumLockStep report(bool on) { return {NumLockStep::Report, on}; }
NumLockStep switchTo(bool on) { return {NumLockStep::Switch, on}; }
const NumLockStep Tick{NumLockStep::Tick};
const NumLockStep QRepeat{NumLockStep::Repeat, KEY_Q};

struct NumLockCase {
    const char *name;
    bool onAtStart;
    std::vector<NumLockStep> steps;
    Keys expected;
};

Keys runNumLockCase(const NumLockCase &c) {
    TestRemapper remapper;
    remapper.keyMap = {{VirtualQ, VirtualKeypad4}};
    RecordingOutput output;
    TapEngine engine(&TestRemapper::callback, &remapper, output);
    engine.seedLed(LED_NUML, c.onAtStart);
    engine.addSource(0);
    for (const NumLockStep &step : c.steps) {
        switch (step.kind) {
        case NumLockStep::Press:
        case NumLockStep::Release:
        case NumLockStep::Repeat:
            engine.feed(0, keyFrame(uint16_t(step.arg), step.kind == NumLockStep::Press    ? 1
                                                        : step.kind == NumLockStep::Repeat ? 2
                                                                                           : 0));
            break;
        case NumLockStep::Report:
            engine.feedback(std::vector{event(EV_LED, LED_NUML, step.arg)});
            break;
        case NumLockStep::Tick:
            engine.tick();
            break;
        case NumLockStep::Switch:
            remapper.on = step.arg;
            break;
        }
    }
    EXPECT_TRUE(output.tracker.faults().empty());
    EXPECT_TRUE(output.tracker.framed());
    return output.tracker.keys();
}

TEST(TapEngineNumLockTest, TurnsNumLockOnOnceAndHandsItBack) {
    const Keys on = {{KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}};
    const auto with = [](Keys a, const Keys &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Keys tap = {{KEY_KP4, 1}, {KEY_KP4, 0}};
    const Keys person = on;  // the person's own NumLock press looks the same
    const NumLockCase cases[] = {
        {"off: one toggle before the first keypad press, none after",
         false,
         {press(KEY_Q), release(KEY_Q), press(KEY_Q), release(KEY_Q)},
         with(with(on, tap), tap)},
        {"on: never toggled", true, {press(KEY_Q), release(KEY_Q)}, tap},
        {"a held key repeats as it is",
         false,
         {press(KEY_Q), QRepeat, QRepeat, release(KEY_Q)},
         with(on, {{KEY_KP4, 1}, {KEY_KP4, 2}, {KEY_KP4, 2}, {KEY_KP4, 0}})},
        {"a late report of the old state is not believed while presses settle",
         false,
         {press(KEY_Q), release(KEY_Q), report(false), press(KEY_Q), release(KEY_Q), report(true),
          Tick, Tick, press(KEY_Q), release(KEY_Q)},
         with(with(with(on, tap), tap), tap)},
        {"a lost report: the prediction stands",
         false,
         {press(KEY_Q), release(KEY_Q), Tick, Tick, Tick, press(KEY_Q), release(KEY_Q)},
         with(with(on, tap), tap)},
        {"the person's press and ours merged into no report",
         true,
         {press(KEY_NUMLOCK), release(KEY_NUMLOCK), press(KEY_Q), release(KEY_Q), Tick, Tick,
          press(KEY_Q), release(KEY_Q)},
         with(with(with(person, on), tap), tap)},
        {"a change from elsewhere, once settled, is believed",
         true,
         {report(false), press(KEY_Q), release(KEY_Q)},
         with(on, tap)},
        {"the last report while settling is believed once settled",
         false,
         {press(KEY_Q), release(KEY_Q), report(true), report(false), Tick, Tick, press(KEY_Q),
          release(KEY_Q)},
         with(with(with(on, tap), on), tap)},
        {"handed back once remapping stops applying",
         false,
         {press(KEY_Q), release(KEY_Q), Tick, switchTo(false), Tick},
         with(with(on, tap), on)},
        {"not handed back while the remapped key is held",
         false,
         {press(KEY_Q), switchTo(false), Tick, Tick, release(KEY_Q), Tick},
         with(with(on, tap), on)},
        {"not handed back after the person pressed NumLock",
         false,
         {press(KEY_Q), release(KEY_Q), press(KEY_NUMLOCK), release(KEY_NUMLOCK), switchTo(false),
          Tick},
         with(with(on, tap), person)},
        {"not handed back when the system says it is off",
         false,
         {press(KEY_Q), release(KEY_Q), Tick, Tick, report(false), switchTo(false), Tick},
         with(on, tap)},
    };
    for (const NumLockCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(runNumLockCase(c), c.expected);
    }
}

TEST_F(TapEngineTest, PhysicalKeypadKeysAreNotTouched) {
    engine.seedLed(LED_NUML, false);
    key(KEY_KP2, 1);
    key(KEY_KP2, 0);
    EXPECT_EQ(keys(), (Keys{{KEY_KP2, 1}, {KEY_KP2, 0}}));
}

TEST_F(TapEngineTest, ReleasingEverythingHandsNumLockBack) {
    engine.seedLed(LED_NUML, false);
    key(KEY_Q, 1);
    engine.releaseAll();
    EXPECT_EQ(keys(), (Keys{{KEY_NUMLOCK, 1},
                            {KEY_NUMLOCK, 0},
                            {KEY_KP4, 1},
                            {KEY_KP4, 0},
                            {KEY_NUMLOCK, 1},
                            {KEY_NUMLOCK, 0}}));
    expectClean();
}

// A system that applies the tap's output in order and reports NumLock's LED the way the
// console does: from time to time it reports the state it has if that differs from the
// last one it reported, so that quick toggles merge into fewer reports or none, and the
// tap reads the reports late, one by one or together, but by its next tick. Every
// remapped keypad press must reach it with NumLock on, and once the game is gone NumLock
// must be as the person left it.
TEST(TapEngineNumLockTest, KeypadPressesAlwaysMeetNumLockOn) {
    struct System : TapOutput {
        bool numLock = false;
        bool reported = false;
        std::deque<bool> unread;
        int keypadPressesWithNumLockOff = 0;
        void emitEvents(std::span<const input_event> events) override {
            for (const input_event &e : events) {
                if (e.type != EV_KEY || e.value != 1) continue;
                if (e.code == KEY_NUMLOCK) numLock = !numLock;
                if (e.code == KEY_KP4 && !numLock) ++keypadPressesWithNumLockOff;
            }
        }
        void forwardLed(uint16_t, bool) override {}
        void report() {
            if (numLock != reported) unread.push_back(reported = numLock);
        }
    };
    std::mt19937 random(7);
    for (int run = 0; run < 100; ++run) {
        System system;
        system.numLock = system.reported = run % 2;
        bool personsState = system.numLock;
        TestRemapper remapper;
        remapper.recordCalls = false;
        remapper.keyMap = {{VirtualQ, VirtualKeypad4}};
        TapEngine engine(&TestRemapper::callback, &remapper, system);
        engine.seedLed(LED_NUML, system.numLock);
        engine.addSource(0);
        const auto read = [&](size_t count) {
            for (; count > 0 && !system.unread.empty(); --count) {
                engine.feedback(std::vector{event(EV_LED, LED_NUML, system.unread.front())});
                system.unread.pop_front();
            }
        };
        for (int i = 0; i < 400; ++i) {
            switch (random() % 10) {
            case 0:  // the person's NumLock
                engine.feed(0, keyFrame(KEY_NUMLOCK, 1));
                engine.feed(0, keyFrame(KEY_NUMLOCK, 0));
                personsState = system.numLock;
                break;
            case 1:
            case 2:
                system.report();
                break;
            case 3:
                read(1 + random() % 2);
                break;
            case 4:
                system.report();
                read(system.unread.size());
                engine.tick();
                break;
            default:
                engine.feed(0, keyFrame(KEY_Q, 1));
                engine.feed(0, keyFrame(KEY_Q, 0));
            }
        }
        EXPECT_EQ(system.keypadPressesWithNumLockOff, 0) << "run " << run;
        remapper.gameInFront = false;
        engine.tick();
        EXPECT_EQ(system.numLock, personsState) << "run " << run;
    }
}

}  // namespace
