// The keyboard broker on a real kernel, with the person's side of Velmora in this process:
// "physical" keyboards made through uhid, the broker's virtual devices read like any program
// reads them, and the kernel console as the consumer that turns keypad keys into digits or
// cursor keys. Runs in the test virtual machine (scripts/vm-run.sh); skips where it cannot make
// devices.
#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerProcess.h"
#include "platform/linux/BrokerTap.h"
#include "platform/linux/broker/LinuxBrokerDevices.h"
#include "tests/keymap/PlayingState.h"
#include "tests/vm/ConsoleKeyboard.h"
#include "tests/vm/EventNodeReader.h"
#include "tests/vm/FakeKeyboard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <libevdev/libevdev-uinput.h>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Keys = std::vector<std::pair<uint16_t, int32_t>>;

const QString VirtualKeyboard = QString::fromLatin1(LinuxBrokerDevices::VirtualKeyboardName);
const QString VirtualPointer = QString::fromLatin1(LinuxBrokerDevices::VirtualPointerName);

// Taken by the broker: nobody else can grab it.
bool isTaken(const QString &node) { return !EventNodeReader(node).tryGrab(); }

class BrokerKernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access("/dev/uinput", W_OK) != 0 || access("/dev/uhid", W_OK) != 0)
            GTEST_SKIP() << "needs /dev/uinput and /dev/uhid (root)";
        console.setNumLock(false);
        keyboard = std::make_unique<FakeKeyboard>();
        ASSERT_TRUE(keyboard->isValid());
        auto started = BrokerProcess::start(BrokerProcess::besideExecutable());
        ASSERT_TRUE(started);
        auto created = BrokerTap::create(
            std::make_unique<BrokerClient>(std::move(started->socket), started->pid));
        ASSERT_TRUE(created) << created.failure().message.toStdString();
        tap = created.take();
        tap->setRemapState(state);
        ASSERT_TRUE(pumpUntil([&] {
            outputNode = EventNodeReader::nodeNamed(VirtualKeyboard);
            return !outputNode.isEmpty();
        }));
        output = std::make_unique<EventNodeReader>(outputNode);
        ASSERT_TRUE(isTaken(keyboard->devnode()));
        console.take();
    }

    void TearDown() override { tap.reset(); }

    // Runs this side's event loop (the heartbeats) until the condition holds.
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
    void setState(const std::function<void(RemapState &)> &change) {
        change(state);
        tap->setRemapState(state);
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
    void expectNoKeyDown() {
        EXPECT_TRUE(pumpUntil([&] { return !output->tracker().anyKeyDown(); }))
            << "a key of the virtual keyboard stayed down";
        EXPECT_TRUE(output->tracker().faults().empty()) << output->tracker().faults().front();
    }
    bool numLockAgreesEverywhere(bool on) {
        return pumpUntil([&] {
            return console.numLock() == on && EventNodeReader::ledOn(outputNode, LED_NUML) == on &&
                   keyboard->ledOn(LED_NUML) == on;
        });
    }

    RemapState state = qOnSlot3();
    ConsoleKeyboard console;
    std::unique_ptr<FakeKeyboard> keyboard;
    std::unique_ptr<BrokerTap> tap;
    QString outputNode;
    std::unique_ptr<EventNodeReader> output;
};

TEST_F(BrokerKernelTest, GrabbedKeyboardReachesOthersOnlyThroughTheVirtualKeyboard) {
    EventNodeReader other(keyboard->devnode());
    setState([](RemapState &s) { s.remapSwitch = false; });
    keyboard->tap(KEY_A);
    keyboard->tap(KEY_Q);
    ASSERT_TRUE(awaitOutput(KEY_Q, 0));
    EXPECT_EQ(output->tracker().keys(), (Keys{{KEY_A, 1}, {KEY_A, 0}, {KEY_Q, 1}, {KEY_Q, 0}}));
    other.drain();
    EXPECT_EQ(other.tracker().keyEventCount(), 0u);
    EXPECT_EQ(console.take(), "aq");
}

TEST_F(BrokerKernelTest, UnplugMidPressLeavesNoKeyDown) {
    for (uint16_t code : {KEY_LEFTSHIFT, KEY_Q, KEY_A}) keyboard->press(code);
    ASSERT_TRUE(awaitOutput(KEY_A, 1));
    keyboard->unplug();
    expectNoKeyDown();
}

TEST_F(BrokerKernelTest, KeyboardPluggedInLaterIsTaken) {
    FakeKeyboard later({.name = QStringLiteral("Velmora test keyboard, plugged in later")});
    ASSERT_TRUE(pumpUntil([&] { return isTaken(later.devnode()); }, 20s))
        << "udev did not announce it";
    later.tap(KEY_Q);
    EXPECT_TRUE(awaitOutput(KEY_KP4, 0));
}

// After a suspend, or while the broker is busy, a keyboard can go and come back under the same
// node before the broker has read the old one to its end.
TEST_F(BrokerKernelTest, KeyboardBackUnderItsOldNodeIsTaken) {
    const QString node = keyboard->devnode();
    keyboard->unplug();
    // The kernel hands out the lowest free node: fill the ones below ours.
    std::vector<std::unique_ptr<FakeKeyboard>> fillers;
    for (int i = 0; i < 16 && keyboard->devnode() != node; ++i) {
        fillers.push_back(std::move(keyboard));
        keyboard = std::make_unique<FakeKeyboard>();
    }
    ASSERT_EQ(keyboard->devnode(), node);
    ASSERT_EQ(std::system("udevadm settle --timeout=20"), 0);
    ASSERT_TRUE(pumpUntil([&] { return isTaken(node); }, 20s));
    keyboard->tap(KEY_Q);
    EXPECT_TRUE(awaitOutput(KEY_KP4, 0));
}

// A keyboard another process made through uinput could be anything under a keyboard's name;
// the broker's own virtual keyboard is one of them. Neither is ever taken.
TEST_F(BrokerKernelTest, KeyboardsMadeThroughUinputAreNotTaken) {
    libevdev *description = libevdev_new();
    libevdev_set_name(description, "Velmora test keyboard through uinput");
    libevdev_set_id_bustype(description, BUS_USB);
    for (unsigned code = KEY_ESC; code <= KEY_MICMUTE; ++code)
        libevdev_enable_event_code(description, EV_KEY, code, nullptr);
    libevdev_uinput *made = nullptr;
    ASSERT_EQ(libevdev_uinput_create_from_device(description, LIBEVDEV_UINPUT_OPEN_MANAGED, &made),
              0);
    libevdev_free(description);
    const QString node = QString::fromLatin1(libevdev_uinput_get_devnode(made));
    // Announced before the next keyboard, so handled by the broker before it.
    FakeKeyboard after;
    ASSERT_TRUE(pumpUntil([&] { return isTaken(after.devnode()); }, 20s));
    EXPECT_FALSE(isTaken(node));
    EXPECT_FALSE(isTaken(outputNode));
    libevdev_uinput_destroy(made);
}

// The virtual keyboard is no mouse to udev; a pointer of its own comes with a keyboard that has
// one, carries that pointer's buttons and motion, and goes with it.
TEST_F(BrokerKernelTest, TheVirtualPointerComesOnlyWithAKeyboardThatHasOne) {
    ASSERT_EQ(std::system("udevadm settle --timeout=20"), 0);
    QProcess udevadm;
    udevadm.start(QStringLiteral("udevadm"), {QStringLiteral("info"), QStringLiteral("-q"),
                                              QStringLiteral("property"), outputNode});
    ASSERT_TRUE(udevadm.waitForFinished());
    const QByteArray properties = udevadm.readAllStandardOutput();
    EXPECT_TRUE(properties.contains("ID_INPUT_KEYBOARD=1")) << properties.toStdString();
    EXPECT_FALSE(properties.contains("ID_INPUT_MOUSE")) << properties.toStdString();
    EXPECT_TRUE(EventNodeReader::nodeNamed(VirtualPointer).isEmpty());

    auto combo = std::make_unique<FakeKeyboard>(
        FakeKeyboard::Options{.name = QStringLiteral("Velmora test keyboard with pointer"),
                              .pointer = true});
    QString pointerNode;
    ASSERT_TRUE(pumpUntil(
        [&] { return !(pointerNode = EventNodeReader::nodeNamed(VirtualPointer)).isEmpty(); },
        20s));
    EventNodeReader pointer(pointerNode);
    combo->send(EV_REL, REL_X, 7);
    combo->tap(BTN_LEFT);
    EXPECT_TRUE(pumpUntil([&] {
        pointer.drain();
        return pointer.tracker().everPressed(BTN_LEFT);
    }));
    const auto &events = pointer.tracker().events();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const input_event &e) {
        return e.type == EV_REL && e.code == REL_X && e.value == 7;
    }));
    combo.reset();
    EXPECT_TRUE(pumpUntil([&] { return EventNodeReader::nodeNamed(VirtualPointer).isEmpty(); }));
}

TEST_F(BrokerKernelTest, HeldSlotKeyRepeatsAsADigit) {
    keyboard->press(KEY_Q);
    pumpFor(1500ms);
    keyboard->release(KEY_Q);
    ASSERT_TRUE(awaitOutput(KEY_KP4, 0));
    EXPECT_TRUE(outputSaw(KEY_KP4, 2)) << "the kernel repeated nothing";
    pumpFor(200ms);
    const QByteArray typed = console.take();
    EXPECT_GE(typed.size(), 3);
    EXPECT_EQ(typed.count('4'), typed.size()) << typed.toStdString();
}

// The person's NumLock goes off, on and off again around bursts of slot keys typed as
// fast as they come out. Every keypad key must type a digit, and at the end the console,
// the virtual keyboard's LED and the physical keyboard's LED agree with the person.
TEST_F(BrokerKernelTest, NumLockStress) {
    // As fast as the broker passes them on: a keyboard's queue in the kernel holds only a few
    // dozen events, and no person outruns it.
    const auto burst = [&](int count) {
        const Keys &keys = output->tracker().keys();
        for (int i = 0; i < count; ++i) {
            const auto before =
                std::count(keys.begin(), keys.end(), std::pair<uint16_t, int32_t>(KEY_KP4, 0));
            keyboard->tap(KEY_Q);
            ASSERT_TRUE(pumpUntil([&] {
                return std::count(keys.begin(), keys.end(),
                                  std::pair<uint16_t, int32_t>(KEY_KP4, 0)) > before;
            }));
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
    setState([](RemapState &s) { s.gameInFront = false; });
    ASSERT_TRUE(numLockAgreesEverywhere(false)) << "NumLock was not handed back";
    keyboard->tap(KEY_NUMLOCK);
    ASSERT_TRUE(numLockAgreesEverywhere(true));
    setState([](RemapState &s) { s.gameInFront = true; });
    burst(60);
    ASSERT_TRUE(typedDigits(240));
    setState([](RemapState &s) { s.gameInFront = false; });
    pumpFor(600ms);
    EXPECT_TRUE(numLockAgreesEverywhere(true)) << "the person's NumLock was taken away";
    keyboard->tap(KEY_NUMLOCK);
    EXPECT_TRUE(numLockAgreesEverywhere(false));
    typed += console.take();
    EXPECT_EQ(typed, QByteArray(240, '4'));
    expectNoKeyDown();
}

// Quitting closes the broker's socket: it lifts every key, hands NumLock back, lets the
// keyboard go and ends, taking its virtual keyboard with it. A Shift left down would show in
// what the console makes of the keyboard afterwards.
TEST_F(BrokerKernelTest, QuitReleasesEverythingAndHandsNumLockBack) {
    for (uint16_t code : {KEY_LEFTSHIFT, KEY_Q}) keyboard->press(code);
    ASSERT_TRUE(awaitOutput(KEY_KP4, 1));
    tap->shutdown();
    EXPECT_TRUE(pumpUntil([&] { return !isTaken(keyboard->devnode()); }));
    EXPECT_TRUE(pumpUntil([&] { return !console.numLock(); })) << "NumLock was not handed back";
    for (uint16_t code : {KEY_Q, KEY_LEFTSHIFT}) keyboard->release(code);
    console.take();
    keyboard->tap(KEY_B);
    EXPECT_TRUE(pumpUntil([&] { return console.take() == "b"; }));
}

}  // namespace
