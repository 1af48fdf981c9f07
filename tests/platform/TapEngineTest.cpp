#include "platform/linux/InputEvent.h"
#include "platform/linux/TapEngine.h"

#include "platform/ModifierFlags.h"
#include "tests/platform/OutputTracker.h"
#include "tests/platform/TestRemapper.h"

#include <gtest/gtest.h>

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

TEST_F(TapEngineTest, PassesOtherEventsThroughInTheirFrames) {
    const std::vector<input_event> frame = {event(EV_MSC, MSC_SCAN, 0x70004),
                                            event(EV_KEY, KEY_A, 1),
                                            event(EV_KEY, KEY_PROG1, 1),  // no virtual code
                                            event(EV_SYN, SYN_REPORT, 0)};
    engine.feed(0, frame);
    const auto &out = output.tracker.events();
    ASSERT_EQ(out.size(), frame.size());
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].type, frame[i].type);
        EXPECT_EQ(out[i].code, frame[i].code);
        EXPECT_EQ(out[i].value, frame[i].value);
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
        {{KEY_LEFTSHIFT}, KEY_Q, NonCoalesced | Shift | LeftShift},
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

TEST_F(TapEngineTest, RemappedKeypadKeyIsWrappedInNumLockWhenNumLockIsOff) {
    engine.seedLed(LED_NUML, false);
    key(KEY_Q, 1);
    const Keys toggle = {{KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}};
    Keys expected = toggle;
    expected.emplace_back(KEY_KP4, 1);
    expected.insert(expected.end(), toggle.begin(), toggle.end());
    EXPECT_EQ(keys(), expected);
    // Every step is a frame of its own.
    size_t syns = 0;
    for (const input_event &e : output.tracker.events()) syns += e.type == EV_SYN;
    EXPECT_EQ(syns, 5u);
    expectClean();
}

TEST_F(TapEngineTest, NumLockWrapFollowsTheSystemState) {
    engine.seedLed(LED_NUML, false);
    key(KEY_Q, 1);
    key(KEY_Q, 0);
    // The echoes of our own toggles do not change what we believe, nor reach the LEDs.
    engine.feedback(std::vector{event(EV_LED, LED_NUML, 1), event(EV_LED, LED_NUML, 0),
                                event(EV_LED, LED_NUML, 1), event(EV_LED, LED_NUML, 0)});
    EXPECT_TRUE(output.leds.empty());
    output.tracker.clear();
    key(KEY_Q, 1);
    EXPECT_EQ(keys().size(), 5u) << "still wrapped: NumLock is still off";
    key(KEY_Q, 0);
    // The person switches NumLock on: the LED write reaches the keyboards, no more wraps.
    engine.feedback(std::vector{event(EV_LED, LED_NUML, 1), event(EV_LED, LED_NUML, 0),
                                event(EV_LED, LED_NUML, 1), event(EV_LED, LED_NUML, 0),
                                event(EV_LED, LED_NUML, 1)});
    EXPECT_EQ(output.leds, (std::vector<std::pair<uint16_t, bool>>{{LED_NUML, true}}));
    output.tracker.clear();
    key(KEY_Q, 1);
    key(KEY_Q, 0);
    EXPECT_EQ(keys(), (Keys{{KEY_KP4, 1}, {KEY_KP4, 0}}));
    expectClean();
}

TEST_F(TapEngineTest, PhysicalKeypadKeysAreNotWrapped) {
    engine.seedLed(LED_NUML, false);
    key(KEY_KP2, 1);
    key(KEY_KP2, 0);
    EXPECT_EQ(keys(), (Keys{{KEY_KP2, 1}, {KEY_KP2, 0}}));
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

}  // namespace
