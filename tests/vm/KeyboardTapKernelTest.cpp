// The keyboard tap on a real kernel, with the application's callback: "physical" keyboards
// made through uinput, the tap's virtual keyboard read like any program reads it, and the
// kernel console as the consumer that turns keypad keys into digits or cursor keys. Runs in
// the test virtual machine (scripts/vm-run.sh); skips where it cannot make devices.
#include "platform/linux/InputEvent.h"
#include "platform/linux/KeyboardTap.h"
#include "platform/linux/UinputSink.h"
#include "remap/EventCallback.h"
#include "tests/vm/ConsoleKeyboard.h"
#include "tests/vm/EventNodeReader.h"
#include "tests/vm/FakeKeyboard.h"
#include "tests/vm/FixedTapHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Keys = std::vector<std::pair<uint16_t, int32_t>>;

// Slot keys Z, X, Q, W, E, R (virtual codes 6, 7, 12, 13, 14, 15) for slots 1 to 6.
constexpr uint16_t SlotKeys[] = {KEY_Z, KEY_X, KEY_Q, KEY_W, KEY_E, KEY_R};
constexpr uint16_t SlotVirtualKeys[] = {6, 7, 12, 13, 14, 15};
constexpr uint16_t KeypadKeys[] = {KEY_KP1, KEY_KP2, KEY_KP4, KEY_KP5, KEY_KP7, KEY_KP8};

SlotCombos slotCombos() {
    SlotCombos combos;
    for (size_t slot = 0; slot < combos.size(); ++slot) combos[slot] = {0, SlotVirtualKeys[slot]};
    return combos;
}

Keys withoutNumLock(const Keys &keys) {
    Keys rest;
    std::copy_if(keys.begin(), keys.end(), std::back_inserter(rest),
                 [](const auto &key) { return key.first != KEY_NUMLOCK; });
    return rest;
}

class KeyboardTapKernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access("/dev/uinput", W_OK) != 0) GTEST_SKIP() << "needs /dev/uinput (root)";
        host.setSlots(slotCombos());
        selfPoint = &host;
        console.setNumLock(false);
        keyboard = std::make_unique<FakeKeyboard>();
        ASSERT_TRUE(keyboard->isValid());
        auto created = KeyboardTap::create(eventCallback, nullptr);
        ASSERT_TRUE(created) << created.failure().message.toStdString();
        tap = created.take();
        ASSERT_TRUE(pumpUntil([&] {
            outputNode = EventNodeReader::nodeNamed(UinputSink::DeviceName);
            return !outputNode.isEmpty();
        }));
        output = std::make_unique<EventNodeReader>(outputNode);
        ASSERT_TRUE(isTaken(*keyboard));
        console.take();
    }

    void TearDown() override {
        tap.reset();
        selfPoint = nullptr;
    }

    // Runs the tap's event loop until the condition holds.
    bool pumpUntil(const std::function<bool()> &condition, std::chrono::milliseconds limit = 5s) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < limit.count()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (output) output->drain();
            if (condition()) return true;
            std::this_thread::sleep_for(2ms);
        }
        return condition();
    }
    void pumpFor(std::chrono::milliseconds time) {
        pumpUntil([] { return false; }, time);
    }
    bool outputSaw(uint16_t code, int32_t value) {
        const Keys &keys = output->tracker().keys();
        return std::find(keys.begin(), keys.end(), std::pair(code, value)) != keys.end();
    }
    ::testing::AssertionResult awaitOutput(uint16_t code, int32_t value) {
        if (pumpUntil([&] { return outputSaw(code, value); })) return ::testing::AssertionSuccess();
        auto failure = ::testing::AssertionFailure() << "no (" << code << ", " << value << ") in";
        for (const auto &[c, v] : output->tracker().keys())
            failure << " (" << c << ", " << v << ")";
        for (const std::string &fault : output->tracker().faults()) failure << "; " << fault;
        return failure;
    }
    Keys outputKeys() { return withoutNumLock(output->tracker().keys()); }
    void expectNoKeyDown() {
        EXPECT_TRUE(pumpUntil([&] { return !output->tracker().anyKeyDown(); }))
            << "a key of the virtual keyboard stayed down";
        EXPECT_TRUE(output->tracker().faults().empty()) << output->tracker().faults().front();
    }
    // Taken by the tap: nobody else can grab it.
    static bool isTaken(FakeKeyboard &device) {
        return !EventNodeReader(device.devnode()).tryGrab();
    }
    bool numLockAgreesEverywhere(bool on) {
        return pumpUntil([&] {
            return console.numLock() == on && EventNodeReader::ledOn(outputNode, LED_NUML) == on &&
                   keyboard->ledOn(LED_NUML) == on;
        });
    }

    FixedTapHost host;
    ConsoleKeyboard console;
    std::unique_ptr<FakeKeyboard> keyboard;
    std::unique_ptr<KeyboardTap> tap;
    QString outputNode;
    std::unique_ptr<EventNodeReader> output;
};

TEST_F(KeyboardTapKernelTest, GrabbedKeyboardReachesOthersOnlyThroughTheVirtualKeyboard) {
    EventNodeReader other(keyboard->devnode());
    host.on = false;
    keyboard->tap(KEY_A);
    keyboard->tap(KEY_Q);
    ASSERT_TRUE(awaitOutput(KEY_Q, 0));
    EXPECT_EQ(output->tracker().keys(), (Keys{{KEY_A, 1}, {KEY_A, 0}, {KEY_Q, 1}, {KEY_Q, 0}}));
    other.drain();
    EXPECT_EQ(other.tracker().keyEventCount(), 0u);
    EXPECT_EQ(console.take(), "aq");
}

TEST_F(KeyboardTapKernelTest, SixSlotsTypeTheirKeypadDigits) {
    for (size_t slot = 0; slot < std::size(SlotKeys); ++slot) {
        SCOPED_TRACE(slot + 1);
        output->tracker().clear();
        keyboard->tap(SlotKeys[slot]);
        ASSERT_TRUE(awaitOutput(KeypadKeys[slot], 0));
        EXPECT_EQ(outputKeys(), (Keys{{KeypadKeys[slot], 1}, {KeypadKeys[slot], 0}}));
    }
    EXPECT_TRUE(pumpUntil([&] { return console.take() == "124578"; }));
    expectNoKeyDown();
}

TEST_F(KeyboardTapKernelTest, ChangesMidPressReleaseWhatWasPressed) {
    const std::pair<const char *, std::function<void()>> changes[] = {
        {"switch turned off", [&] { host.on = false; }},
        {"another application in front", [&] { host.frontName = QStringLiteral("Firefox"); }},
        {"slot cleared", [&] { host.setSlots({}); }},
    };
    for (const auto &[name, change] : changes) {
        SCOPED_TRACE(name);
        output->tracker().clear();
        keyboard->press(KEY_Q);
        ASSERT_TRUE(awaitOutput(KEY_KP4, 1));
        change();
        keyboard->release(KEY_Q);
        ASSERT_TRUE(awaitOutput(KEY_KP4, 0));
        EXPECT_EQ(outputKeys(), (Keys{{KEY_KP4, 1}, {KEY_KP4, 0}}));
        host = FixedTapHost();
        host.setSlots(slotCombos());
    }
    expectNoKeyDown();
}

TEST_F(KeyboardTapKernelTest, UnplugMidPressLeavesNoKeyDown) {
    const int before = tap->keyboardCount();
    for (uint16_t code : {KEY_LEFTSHIFT, KEY_Q, KEY_A}) keyboard->press(code);
    ASSERT_TRUE(awaitOutput(KEY_A, 1));
    keyboard->unplug();
    expectNoKeyDown();
    EXPECT_TRUE(pumpUntil([&] { return tap->keyboardCount() == before - 1; }));
}

TEST_F(KeyboardTapKernelTest, KeyboardPluggedInLaterIsTaken) {
    const int before = tap->keyboardCount();
    FakeKeyboard later({.name = QStringLiteral("Velmora test keyboard, plugged in later")});
    ASSERT_TRUE(pumpUntil([&] { return tap->keyboardCount() == before + 1; }, 20s))
        << "udev did not announce it";
    EXPECT_TRUE(isTaken(later));
    later.tap(KEY_Q);
    EXPECT_TRUE(awaitOutput(KEY_KP4, 0));
}

// After a suspend, or while the main thread is busy, a keyboard can go and come back under
// the same node before the tap has read the old one to its end.
TEST_F(KeyboardTapKernelTest, KeyboardBackUnderItsOldNodeIsTaken) {
    const QString node = keyboard->devnode();
    keyboard->unplug();
    // The kernel hands out the lowest free node: fill the ones below ours.
    std::vector<std::unique_ptr<FakeKeyboard>> fillers;
    for (int i = 0; i < 16 && keyboard->devnode() != node; ++i) {
        fillers.push_back(std::move(keyboard));
        keyboard = std::make_unique<FakeKeyboard>();
    }
    ASSERT_EQ(keyboard->devnode(), node);
    // Busy until udev has announced it, so that the tap hears of the new keyboard and of
    // the old one's end at the same time.
    ASSERT_EQ(std::system("udevadm settle --timeout=20"), 0);
    ASSERT_TRUE(pumpUntil([&] { return isTaken(*keyboard); }, 20s));
    keyboard->tap(KEY_Q);
    EXPECT_TRUE(awaitOutput(KEY_KP4, 0));
}

TEST_F(KeyboardTapKernelTest, PointerOfACombinedDeviceStillWorks) {
    FakeKeyboard combo(
        {.name = QStringLiteral("Velmora test keyboard with pointer"), .pointer = true});
    ASSERT_TRUE(pumpUntil([&] { return isTaken(combo); }, 20s));
    combo.send(EV_REL, REL_X, 7);
    combo.tap(BTN_LEFT);
    ASSERT_TRUE(awaitOutput(BTN_LEFT, 0));
    const auto &events = output->tracker().events();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const input_event &e) {
        return e.type == EV_REL && e.code == REL_X && e.value == 7;
    }));
    EXPECT_TRUE(outputSaw(BTN_LEFT, 1));
}

TEST_F(KeyboardTapKernelTest, HeldSlotKeyRepeatsAsADigit) {
    FakeKeyboard repeating(
        {.name = QStringLiteral("Velmora repeating keyboard"), .autorepeat = true});
    ASSERT_TRUE(pumpUntil([&] { return isTaken(repeating); }, 20s));
    repeating.press(KEY_Q);
    pumpFor(1500ms);
    repeating.release(KEY_Q);
    ASSERT_TRUE(awaitOutput(KEY_KP4, 0));
    EXPECT_TRUE(outputSaw(KEY_KP4, 2)) << "the kernel repeated nothing";
    pumpFor(200ms);
    const QByteArray typed = console.take();
    EXPECT_GE(typed.size(), 3);
    EXPECT_EQ(typed.count('4'), typed.size()) << typed.toStdString();
}

// The person's NumLock goes off, on and off again around bursts of slot keys typed as
// fast as they can be read. Every keypad key must type a digit, and at the end the console,
// the virtual keyboard's LED and the physical keyboard's LED agree with the person.
TEST_F(KeyboardTapKernelTest, NumLockStress) {
    // As fast as the tap reads: a keyboard's queue in the kernel holds only a few dozen
    // events, and no person outruns it.
    const auto burst = [&](int count) {
        for (int i = 0; i < count; ++i) {
            keyboard->tap(KEY_Q);
            QCoreApplication::processEvents();
            output->drain();
        }
    };
    QByteArray typed;
    const auto typedDigits = [&](int count) {
        return pumpUntil([&] {
            typed += console.take();
            return typed.size() >= count;
        });
    };
    // In the game: the person's NumLock presses come between the slot keys.
    burst(60);
    keyboard->tap(KEY_NUMLOCK);
    burst(60);
    keyboard->tap(KEY_NUMLOCK);
    burst(60);
    ASSERT_TRUE(typedDigits(180));
    // Outside the game the person turns NumLock on, plays, and turns it off again.
    host.frontName = QStringLiteral("Firefox");
    ASSERT_TRUE(numLockAgreesEverywhere(false)) << "NumLock was not handed back";
    keyboard->tap(KEY_NUMLOCK);
    ASSERT_TRUE(numLockAgreesEverywhere(true));
    host.frontName = QStringLiteral("Warcraft III");
    burst(60);
    ASSERT_TRUE(typedDigits(240));
    host.frontName = QStringLiteral("Firefox");
    pumpFor(600ms);
    EXPECT_TRUE(numLockAgreesEverywhere(true)) << "the person's NumLock was taken away";
    keyboard->tap(KEY_NUMLOCK);
    EXPECT_TRUE(numLockAgreesEverywhere(false));
    typed += console.take();
    EXPECT_EQ(typed, QByteArray(240, '4'));
    expectNoKeyDown();
}

TEST_F(KeyboardTapKernelTest, StalledTapFailsOpenAndTakesTheKeyboardsBack) {
    keyboard->press(KEY_Q);
    ASSERT_TRUE(awaitOutput(KEY_KP4, 1));
    ASSERT_TRUE(pumpUntil([&] { return console.numLock(); }));
    // The main thread stops; the watchdog lets go after a second.
    std::this_thread::sleep_for(2500ms);
    output->drain();
    EXPECT_FALSE(output->tracker().anyKeyDown());
    EXPECT_FALSE(console.numLock()) << "NumLock was not handed back";
    EventNodeReader other(keyboard->devnode());
    keyboard->release(KEY_Q);
    keyboard->tap(KEY_A);
    std::this_thread::sleep_for(100ms);
    other.drain();
    EXPECT_TRUE(other.tracker().everPressed(KEY_A)) << "the keyboard was not let go";
    // Once the main thread answers again, the tap takes the keyboard back.
    EXPECT_TRUE(pumpUntil([&] { return isTaken(*keyboard); }, 10s));
    EXPECT_EQ(tap->status(), KeyboardTap::Status::Active);
}

TEST_F(KeyboardTapKernelTest, PanicChordLetsGoUntilRearmed) {
    keyboard->press(KEY_Q);
    for (uint16_t code : {KEY_BACKSPACE, KEY_ESC, KEY_ENTER}) keyboard->press(code);
    ASSERT_TRUE(pumpUntil([&] { return tap->status() == KeyboardTap::Status::ReleasedByPanic; }));
    expectNoKeyDown();
    EXPECT_TRUE(numLockAgreesEverywhere(false));
    EXPECT_FALSE(isTaken(*keyboard));
    for (uint16_t code : {KEY_BACKSPACE, KEY_ESC, KEY_ENTER, KEY_Q}) keyboard->release(code);
    pumpFor(100ms);
    tap->rearm();
    EXPECT_TRUE(pumpUntil([&] { return isTaken(*keyboard); }));
}

TEST_F(KeyboardTapKernelTest, QuitReleasesEverythingAndHandsNumLockBack) {
    for (uint16_t code : {KEY_Q, KEY_A}) keyboard->press(code);
    ASSERT_TRUE(awaitOutput(KEY_A, 1));
    tap->shutdown();
    expectNoKeyDown();
    EXPECT_TRUE(numLockAgreesEverywhere(false));
    EXPECT_FALSE(isTaken(*keyboard));
}

}  // namespace
