#include "platform/linux/broker/KeyboardTap.h"

#include "platform/linux/broker/InputEvent.h"
#include "platform/linux/broker/PipeKeyboardSource.h"
#include "platform/linux/broker/PipeSink.h"
#include "tests/platform/OutputTracker.h"
#include "tests/platform/TestRemapper.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <random>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Keys = std::vector<std::pair<uint16_t, int32_t>>;
constexpr uint16_t VirtualQ = 12, VirtualW = 13, VirtualKeypad4 = 86, VirtualKeypad7 = 89;

input_event event(uint16_t type, uint16_t code, int32_t value) {
    return makeInputEvent(type, code, value);
}

// Drives the tap through pipes as the broker's loop does: what is written to a keyboard's pipe
// comes out of the virtual keyboard's pipe, and of the virtual pointer's once there is one.
class KeyboardTapTest : public ::testing::Test {
protected:
    explicit KeyboardTapTest(std::chrono::milliseconds stallLimit = 1s) {
        remapper.keyMap = {{VirtualQ, VirtualKeypad4}, {VirtualW, VirtualKeypad4}};
        auto keyboardSink = std::make_unique<PipeSink>();
        sink = keyboardSink.get();
        tap = std::make_unique<KeyboardTap>(
            std::move(keyboardSink),
            [this] {
                auto made = std::make_unique<PipeSink>();
                pointer = made.get();
                return made;
            },
            &TestRemapper::callback, &remapper, stallLimit);
    }

    PipeKeyboardSource *addKeyboard(bool numLockOn = true, bool hasPointer = false) {
        auto source = std::make_unique<PipeKeyboardSource>(keyboards.size(), hasPointer);
        source->setLed(LED_NUML, numLockOn);
        PipeKeyboardSource *raw = source.get();
        keyboards.push_back(raw);
        tap->addKeyboard(std::move(source));
        return raw;
    }

    void write(PipeKeyboardSource *keyboard, std::span<const input_event> events) {
        ASSERT_EQ(::write(keyboard->writeFd(), events.data(), events.size_bytes()),
                  ssize_t(events.size_bytes()));
    }
    void key(PipeKeyboardSource *keyboard, uint16_t code, int32_t value) {
        const input_event frame[] = {event(EV_KEY, code, value), event(EV_SYN, SYN_REPORT, 0)};
        write(keyboard, frame);
        pump();
    }

    // Turns the loop until everything written has been read, then collects the output.
    void pump() {
        for (int round = 0; round < 1000; ++round) {
            std::vector<pollfd> fds;
            tap->fillPoll(fds);
            if (poll(fds.data(), fds.size(), 0) <= 0) break;
            tap->serve(fds);
            tap->beat(KeyboardTap::Clock::now());
        }
        output.drain(sink->outputFd());
    }
    void expectClean() const {
        EXPECT_TRUE(output.faults().empty()) << output.faults().front();
        EXPECT_TRUE(output.framed());
    }

    TestRemapper remapper;
    PipeSink *sink;
    PipeSink *pointer = nullptr;
    std::unique_ptr<KeyboardTap> tap;
    std::vector<PipeKeyboardSource *> keyboards;
    OutputTracker output;
};

TEST_F(KeyboardTapTest, RemapsWhatItReadsFromTheKeyboards) {
    PipeKeyboardSource *keyboard = addKeyboard();
    EXPECT_TRUE(keyboard->isGrabbed());
    key(keyboard, KEY_Q, 1);
    key(keyboard, KEY_Q, 0);
    key(keyboard, KEY_A, 1);
    key(keyboard, KEY_A, 0);
    EXPECT_EQ(output.keys(), (Keys{{KEY_KP4, 1}, {KEY_KP4, 0}, {KEY_A, 1}, {KEY_A, 0}}));
    expectClean();
}

TEST_F(KeyboardTapTest, TheSameDeviceTwiceIsTakenOnceUnlessItsHandleDied) {
    PipeKeyboardSource *first = addKeyboard();
    tap->addKeyboard(std::make_unique<PipeKeyboardSource>(0));
    EXPECT_EQ(tap->status().keyboards, 1);
    first->closeWriteEnd();
    auto again = std::make_unique<PipeKeyboardSource>(0);
    PipeKeyboardSource *back = again.get();
    tap->addKeyboard(std::move(again));
    EXPECT_EQ(tap->status().keyboards, 1);
    EXPECT_TRUE(back->isGrabbed()) << "the dead one was replaced";
}

// Which keys an unplugged keyboard takes with it is the engine's; here, that its end is seen.
TEST_F(KeyboardTapTest, UnplugWithKeysHeldReleasesThem) {
    PipeKeyboardSource *keyboard = addKeyboard();
    key(keyboard, KEY_Q, 1);
    keyboard->closeWriteEnd();
    pump();
    EXPECT_FALSE(output.isDown(KEY_KP4));
    EXPECT_EQ(tap->status().keyboards, 0);
}

TEST_F(KeyboardTapTest, GrabsOnlyOnceNoKeyIsHeld) {
    auto source = std::make_unique<PipeKeyboardSource>();
    PipeKeyboardSource *keyboard = source.get();
    KeyBits held;
    held.set(KEY_A);
    keyboard->setKeysDown(held);
    tap->addKeyboard(std::move(source));
    EXPECT_FALSE(keyboard->isGrabbed());
    keyboard->setKeysDown({});
    key(keyboard, KEY_A, 0);
    EXPECT_TRUE(keyboard->isGrabbed());
    // The release before the grab was the system's own; nothing was re-emitted.
    EXPECT_TRUE(output.keys().empty());
}

TEST_F(KeyboardTapTest, PanicChordReleasesUntilRearmed) {
    PipeKeyboardSource *keyboard = addKeyboard();
    key(keyboard, KEY_Q, 1);
    for (uint16_t code : {KEY_BACKSPACE, KEY_ESC, KEY_ENTER}) key(keyboard, code, 1);
    EXPECT_FALSE(keyboard->isGrabbed());
    EXPECT_TRUE(tap->status().panicReleased);
    // Released keyboards speak to the system directly; nothing is re-emitted, then or later.
    output.clear();
    for (uint16_t code : {KEY_BACKSPACE, KEY_ESC, KEY_ENTER, KEY_Q}) key(keyboard, code, 0);
    tap->rearm();
    pump();
    EXPECT_TRUE(output.keys().empty());
    EXPECT_TRUE(keyboard->isGrabbed());
    EXPECT_FALSE(tap->status().panicReleased);
    key(keyboard, KEY_Q, 1);
    EXPECT_TRUE(output.isDown(KEY_KP4));
}

TEST_F(KeyboardTapTest, LedWritesReachTheKeyboards) {
    PipeKeyboardSource *first = addKeyboard();
    PipeKeyboardSource *second = addKeyboard();
    const input_event led[] = {event(EV_LED, LED_CAPSL, 1)};
    ASSERT_EQ(::write(sink->feedbackWriteFd(), led, sizeof(led)), ssize_t(sizeof(led)));
    pump();
    EXPECT_TRUE(first->ledOn(LED_CAPSL));
    EXPECT_TRUE(second->ledOn(LED_CAPSL));
}

// How the engine resynchronises is its own; here, that the keyboard is asked.
TEST_F(KeyboardTapTest, SynDroppedAsksTheKeyboardForItsKeys) {
    PipeKeyboardSource *keyboard = addKeyboard();
    KeyBits now;
    now.set(KEY_D);
    keyboard->setKeysDown(now);
    const input_event lost[] = {event(EV_SYN, SYN_DROPPED, 0), event(EV_SYN, SYN_REPORT, 0)};
    write(keyboard, lost);
    pump();
    EXPECT_TRUE(output.isDown(KEY_D));
}

TEST_F(KeyboardTapTest, ShutdownReleasesAndLetsGo) {
    PipeKeyboardSource *keyboard = addKeyboard();
    key(keyboard, KEY_Q, 1);
    tap->shutdown();
    output.drain(sink->outputFd());
    EXPECT_FALSE(output.anyKeyDown());
    EXPECT_FALSE(keyboard->isGrabbed());
    expectClean();
}

// A keyboard with a pointer: its buttons and motion go to a virtual pointer, in frames of their
// own, made when it comes and gone when it goes.
TEST_F(KeyboardTapTest, APointersEventsGoToTheVirtualPointerWhileOneIsThere) {
    addKeyboard();
    EXPECT_EQ(pointer, nullptr) << "no pointer without a keyboard that has one";
    PipeKeyboardSource *combo = addKeyboard(true, true);
    ASSERT_NE(pointer, nullptr);
    write(combo, std::vector{event(EV_KEY, KEY_A, 1), event(EV_REL, REL_X, 5),
                             event(EV_KEY, BTN_LEFT, 1), event(EV_SYN, SYN_REPORT, 0)});
    pump();
    OutputTracker pointed;
    pointed.drain(pointer->outputFd());
    EXPECT_EQ(output.keys(), (Keys{{KEY_A, 1}}));
    EXPECT_EQ(pointed.keys(), (Keys{{BTN_LEFT, 1}}));
    EXPECT_EQ(pointed.events().size(), 3u) << "motion, button, frame";
    EXPECT_TRUE(output.framed() && pointed.framed());
    combo->closeWriteEnd();
    pump();
    pointer = nullptr;
    tap->addKeyboard(std::make_unique<PipeKeyboardSource>(7, true));
    EXPECT_NE(pointer, nullptr) << "the first one went with its keyboard";
}

// A million key events from two keyboards, with the switch, the front application and
// the slots changing at random in between: at the end, with every physical key up,
// no output key may be left down, and no event on the way may have been senseless.
TEST_F(KeyboardTapTest, RandomTypingLeavesNoKeyDown) {
    PipeKeyboardSource *pair[] = {addKeyboard(false), addKeyboard(false)};
    remapper.recordCalls = false;
    output.keepHistory(false);
    const uint16_t pool[] = {KEY_Q,   KEY_W,         KEY_E,         KEY_A,     KEY_S,    KEY_1,
                             KEY_KP1, KEY_LEFTSHIFT, KEY_RIGHTCTRL, KEY_PROG1, KEY_SPACE};
    const uint16_t virtualPool[] = {VirtualQ, VirtualW, 14, 0, 1};
    std::mt19937 random(20240501);
    std::vector<std::set<uint16_t>> held(2);
    std::vector<input_event> batch[2];
    constexpr int Events = 1'000'000, Batch = 64;
    for (int i = 0; i < Events; ++i) {
        const int which = int(random() % 2);
        const uint16_t code = pool[random() % std::size(pool)];
        int32_t value = 1;
        if (held[which].contains(code)) value = random() % 3 == 0 ? 2 : 0;
        if (value == 0) held[which].erase(code);
        if (value == 1) held[which].insert(code);
        batch[which].push_back(event(EV_KEY, code, value));
        batch[which].push_back(event(EV_SYN, SYN_REPORT, 0));
        switch (random() % 64) {
        case 0:
            remapper.on = !remapper.on;
            break;
        case 1:
            remapper.gameInFront = !remapper.gameInFront;
            break;
        case 2:
            remapper.keyMap[virtualPool[random() % std::size(virtualPool)]] =
                random() % 2 ? VirtualKeypad4 : VirtualKeypad7;
            break;
        case 3:
            remapper.keyMap.clear();
            break;
        }
        if (i % Batch != Batch - 1) continue;
        for (int k = 0; k < 2; ++k) {
            write(pair[k], batch[k]);
            batch[k].clear();
        }
        pump();
    }
    for (int k = 0; k < 2; ++k) {
        for (uint16_t code : held[k]) {
            batch[k].push_back(event(EV_KEY, code, 0));
            batch[k].push_back(event(EV_SYN, SYN_REPORT, 0));
        }
        write(pair[k], batch[k]);
    }
    pump();
    // A good share of the key events come through; repeats of keys that do not own their
    // output's repeats and presses of output keys already down are absorbed.
    EXPECT_GT(output.keyEventCount(), size_t(Events * 2 / 5));
    for (uint16_t code : {KEY_KP4, KEY_KP7, KEY_NUMLOCK, KEY_Q, KEY_PROG1, KEY_LEFTSHIFT})
        EXPECT_TRUE(output.everPressed(code)) << code;
    EXPECT_FALSE(output.anyKeyDown());
    EXPECT_EQ(output.faults().size(), 0u) << output.faults().front();
    EXPECT_TRUE(output.framed());
}

class KeyboardTapWatchdogTest : public KeyboardTapTest {
protected:
    static constexpr auto Limit = 100ms;
    KeyboardTapWatchdogTest() : KeyboardTapTest(Limit) {}
};

TEST_F(KeyboardTapWatchdogTest, StalledLoopFailsOpenAndRearms) {
    PipeKeyboardSource *keyboard = addKeyboard(false);
    key(keyboard, KEY_Q, 1);
    ASSERT_TRUE(output.isDown(KEY_KP4));
    // The loop stops beating for several times the limit, and on until the watchdog is done:
    // a loaded machine can be late to run it.
    const auto numLockPresses = [&] {
        return std::count(output.keys().begin(), output.keys().end(),
                          std::pair<uint16_t, int32_t>(KEY_NUMLOCK, 1));
    };
    std::this_thread::sleep_for(Limit * 6);
    for (int wait = 0; wait < 500 && numLockPresses() < 2; ++wait) {
        output.drain(sink->outputFd());
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(keyboard->isGrabbed());
    EXPECT_FALSE(output.isDown(KEY_KP4)) << "the watchdog lifts every key of the virtual keyboard";
    EXPECT_EQ(numLockPresses(), 2) << "and turns off the NumLock it turned on";

    tap->beat(KeyboardTap::Clock::now());
    EXPECT_TRUE(tap->status().stallReleased);
    EXPECT_EQ(remapper.calls.back().type, TapEvent::TapDisabledByTimeout);
    // The key held through the stall comes up on the system's side; the tap re-arms after.
    key(keyboard, KEY_Q, 0);
    tap->beat(KeyboardTap::Clock::now() + Limit * 2);
    EXPECT_TRUE(keyboard->isGrabbed());
    EXPECT_FALSE(tap->status().stallReleased);
}

}  // namespace
