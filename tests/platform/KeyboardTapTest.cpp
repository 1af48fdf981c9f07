#include "platform/linux/InputEvent.h"
#include "platform/linux/KeyboardTap.h"

#include "platform/linux/BrokerClient.h"
#include "platform/linux/PipeKeyboardSource.h"
#include "platform/linux/PipeSink.h"
#include "tests/platform/OutputTracker.h"
#include "tests/platform/TestRemapper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <algorithm>
#include <random>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr uint16_t VirtualQ = 12, VirtualW = 13, VirtualKeypad4 = 86, VirtualKeypad7 = 89;

input_event event(uint16_t type, uint16_t code, int32_t value) {
    return makeInputEvent(type, code, value);
}

bool hasInput(int fd) {
    int bytes = 0;
    return ioctl(fd, FIONREAD, &bytes) == 0 && bytes > 0;
}

// Drives the tap through pipes: what is written to a keyboard's pipe comes out of the
// virtual keyboard's pipe, through the Qt event loop as in the application.
class KeyboardTapTest : public ::testing::Test {
protected:
    explicit KeyboardTapTest(std::chrono::milliseconds stallLimit = 1s) {
        remapper.keyMap = {{VirtualQ, VirtualKeypad4}, {VirtualW, VirtualKeypad4}};
        auto pipeSink = std::make_unique<PipeSink>();
        sink = pipeSink.get();
        tap = std::make_unique<KeyboardTap>(std::move(pipeSink), &TestRemapper::callback, &remapper,
                                            stallLimit);
    }

    PipeKeyboardSource *addKeyboard(bool numLockOn = true) {
        auto source = std::make_unique<PipeKeyboardSource>();
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

    // Runs the event loop until every keyboard pipe is read, then collects the output.
    void pump() {
        for (int round = 0; round < 1000 && anyInput(); ++round) QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        output.drain(sink->outputFd());
    }
    bool anyInput() const {
        for (PipeKeyboardSource *keyboard : keyboards)
            if (hasInput(keyboard->fd())) return true;
        return hasInput(sink->feedbackFd());
    }
    void expectClean() const {
        EXPECT_TRUE(output.faults().empty()) << output.faults().front();
        EXPECT_TRUE(output.framed());
    }

    TestRemapper remapper;
    PipeSink *sink;
    std::unique_ptr<KeyboardTap> tap;
    std::vector<PipeKeyboardSource *> keyboards;
    OutputTracker output;
};

TEST_F(KeyboardTapTest, RemapsThroughTheDescriptors) {
    PipeKeyboardSource *keyboard = addKeyboard();
    EXPECT_TRUE(keyboard->isGrabbed());
    EXPECT_EQ(tap->status(), KeyboardTap::Status::Active);
    key(keyboard, KEY_Q, 1);
    key(keyboard, KEY_Q, 0);
    key(keyboard, KEY_A, 1);
    key(keyboard, KEY_A, 0);
    using Keys = std::vector<std::pair<uint16_t, int32_t>>;
    EXPECT_EQ(output.keys(), (Keys{{KEY_KP4, 1}, {KEY_KP4, 0}, {KEY_A, 1}, {KEY_A, 0}}));
    expectClean();
}

TEST_F(KeyboardTapTest, StatusCountsKeyboards) {
    EXPECT_EQ(tap->status(), KeyboardTap::Status::NoKeyboard);
    QSignalSpy changes(tap.get(), &KeyboardTap::statusChanged);
    addKeyboard();
    addKeyboard();
    EXPECT_EQ(tap->status(), KeyboardTap::Status::Active);
    EXPECT_EQ(tap->statusText(), QStringLiteral("Active with 2 keyboard(s)"));
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(KeyboardTapTest, TwoKeyboardsHoldingOneKeypadKey) {
    PipeKeyboardSource *first = addKeyboard();
    PipeKeyboardSource *second = addKeyboard();
    key(first, KEY_Q, 1);
    key(second, KEY_W, 1);
    key(first, KEY_Q, 0);
    EXPECT_TRUE(output.isDown(KEY_KP4));
    key(second, KEY_W, 0);
    EXPECT_FALSE(output.anyKeyDown());
    expectClean();
}

TEST_F(KeyboardTapTest, UnplugWithKeysHeldReleasesThem) {
    PipeKeyboardSource *keyboard = addKeyboard();
    PipeKeyboardSource *other = addKeyboard();
    key(keyboard, KEY_Q, 1);
    key(keyboard, KEY_LEFTSHIFT, 1);
    key(other, KEY_A, 1);
    keyboards.erase(keyboards.begin());
    keyboard->closeWriteEnd();
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    output.drain(sink->outputFd());
    EXPECT_FALSE(output.isDown(KEY_KP4));
    EXPECT_FALSE(output.isDown(KEY_LEFTSHIFT));
    EXPECT_TRUE(output.isDown(KEY_A));
    EXPECT_EQ(tap->keyboardCount(), 1);
    key(other, KEY_A, 0);
    expectClean();
}

TEST_F(KeyboardTapTest, GrabsOnlyOnceNoKeyIsHeld) {
    auto source = std::make_unique<PipeKeyboardSource>();
    PipeKeyboardSource *keyboard = source.get();
    KeyBits held;
    held.set(KEY_A);
    keyboard->setKeysDown(held);
    keyboards.push_back(keyboard);
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
    EXPECT_FALSE(output.anyKeyDown());
    EXPECT_FALSE(keyboard->isGrabbed());
    EXPECT_EQ(tap->status(), KeyboardTap::Status::ReleasedByPanic);
    // Released keyboards speak to the system directly; nothing is re-emitted.
    output.clear();
    for (uint16_t code : {KEY_BACKSPACE, KEY_ESC, KEY_ENTER, KEY_Q}) key(keyboard, code, 0);
    EXPECT_TRUE(output.keys().empty());
    tap->rearm();
    EXPECT_TRUE(keyboard->isGrabbed());
    EXPECT_EQ(tap->status(), KeyboardTap::Status::Active);
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

TEST_F(KeyboardTapTest, NumLockOffAtStartIsTurnedOnAndBackOff) {
    PipeKeyboardSource *keyboard = addKeyboard(false);
    key(keyboard, KEY_Q, 1);
    key(keyboard, KEY_Q, 0);
    using Keys = std::vector<std::pair<uint16_t, int32_t>>;
    EXPECT_EQ(output.keys(),
              (Keys{{KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}, {KEY_KP4, 1}, {KEY_KP4, 0}}));
    output.clear();
    remapper.gameInFront = false;
    // The tap notices on its next heartbeat.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            output.drain(sink->outputFd());
            return output.keys().size() >= 2;
        },
        5000));
    EXPECT_EQ(output.keys(), (Keys{{KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}}));
}

TEST_F(KeyboardTapTest, SynDroppedAsksTheKeyboardForItsKeys) {
    PipeKeyboardSource *keyboard = addKeyboard();
    key(keyboard, KEY_Q, 1);
    KeyBits now;
    now.set(KEY_D);
    keyboard->setKeysDown(now);
    const input_event lost[] = {event(EV_SYN, SYN_DROPPED, 0), event(EV_SYN, SYN_REPORT, 0)};
    write(keyboard, lost);
    pump();
    EXPECT_FALSE(output.isDown(KEY_KP4));
    EXPECT_TRUE(output.isDown(KEY_D));
    expectClean();
}

TEST_F(KeyboardTapTest, ShutdownReleasesAndLetsGo) {
    PipeKeyboardSource *keyboard = addKeyboard();
    key(keyboard, KEY_Q, 1);
    tap->shutdown();
    output.drain(sink->outputFd());
    EXPECT_FALSE(output.anyKeyDown());
    EXPECT_FALSE(keyboard->isGrabbed());
    EXPECT_EQ(tap->status(), KeyboardTap::Status::Stopped);
    expectClean();
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

    template <typename Condition>
    bool waitFor(Condition condition) {
        QElapsedTimer timer;
        timer.start();
        while (!condition() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(5ms);
        }
        return condition();
    }
};

TEST_F(KeyboardTapWatchdogTest, StalledMainThreadFailsOpenAndRearms) {
    PipeKeyboardSource *keyboard = addKeyboard(false);
    key(keyboard, KEY_Q, 1);
    ASSERT_TRUE(output.isDown(KEY_KP4));
    // The main thread stops answering for several times the limit, and on until the watchdog
    // is done: a loaded machine can be late to run it.
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

    ASSERT_TRUE(waitFor([&] { return tap->status() == KeyboardTap::Status::DisabledByWatchdog; }));
    EXPECT_EQ(remapper.calls.back().type, TapEvent::TapDisabledByTimeout);
    // The key held through the stall comes up on the system's side; the tap re-arms after.
    key(keyboard, KEY_Q, 0);
    ASSERT_TRUE(waitFor([&] { return keyboard->isGrabbed(); }));
    EXPECT_EQ(tap->status(), KeyboardTap::Status::Active);
}

// The tap on the devices of a keyboard broker the test plays over a socket pair; the virtual
// keyboard is a pipe the test reads.
class KeyboardTapBrokerTest : public ::testing::Test {
protected:
    void SetUp() override {
        UniqueFd ours, theirs;
        ASSERT_TRUE(BrokerChannel::makePair(ours, theirs));
        broker = std::make_unique<BrokerChannel>(std::move(theirs));
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        output.reset(fds[0]);
        send(BrokerMessage::withFd(BrokerMessageType::VirtualKeyboard, UniqueFd(fds[1])));
        send(BrokerMessage(BrokerMessageType::ScanDone));
        remapper.keyMap = {{VirtualQ, VirtualKeypad4}};
        auto created =
            KeyboardTap::createWithBroker(std::make_unique<BrokerClient>(std::move(ours), -1),
                                          &TestRemapper::callback, &remapper);
        ASSERT_TRUE(created) << created.failure().message.toStdString();
        tap = created.take();
        auto source = std::make_unique<PipeKeyboardSource>();
        keyboard = source.get();
        tap->addKeyboard(std::move(source), QStringLiteral("/dev/input/event7"));
        ASSERT_TRUE(keyboard->isGrabbed());
    }

    void send(const BrokerMessage &message) { ASSERT_EQ(broker->send(message), 0); }
    void pumpFor(std::chrono::milliseconds time) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < time.count()) QCoreApplication::processEvents();
        tracker.drain(output.get());
    }
    void pressQ() {
        const input_event press[] = {event(EV_KEY, KEY_Q, 1), event(EV_SYN, SYN_REPORT, 0)};
        ASSERT_EQ(::write(keyboard->writeFd(), press, sizeof press), ssize_t(sizeof press));
        pumpFor(50ms);
        ASSERT_TRUE(tracker.isDown(KEY_KP4));
    }

    TestRemapper remapper;
    std::unique_ptr<BrokerChannel> broker;
    UniqueFd output;
    OutputTracker tracker;
    std::unique_ptr<KeyboardTap> tap;
    PipeKeyboardSource *keyboard = nullptr;
};

TEST_F(KeyboardTapBrokerTest, TheBrokerLettingGoFailsTheTapOpenUntilItHasBeatenAWhile) {
    pressQ();
    send(BrokerMessage(BrokerMessageType::KeyboardsReleased));
    pumpFor(100ms);
    EXPECT_FALSE(tracker.isDown(KEY_KP4));
    EXPECT_FALSE(keyboard->isGrabbed());
    EXPECT_EQ(tap->status(), KeyboardTap::Status::DisabledByWatchdog);
    pumpFor(KeyboardTap::DefaultStallLimit + 500ms);
    EXPECT_TRUE(keyboard->isGrabbed());
    EXPECT_EQ(tap->status(), KeyboardTap::Status::Active);
    EXPECT_EQ(broker->receive().message.type, BrokerMessageType::Start);
    EXPECT_EQ(broker->receive().message.type, BrokerMessageType::Heartbeat) << "it beats";
}

TEST_F(KeyboardTapBrokerTest, WithoutTheBrokerEverythingIsLetGoForGood) {
    pressQ();
    broker.reset();
    pumpFor(100ms);
    EXPECT_FALSE(tracker.anyKeyDown());
    EXPECT_FALSE(keyboard->isGrabbed());
    EXPECT_EQ(tap->status(), KeyboardTap::Status::BrokerLost);
}

// After a suspend, or while the main thread is busy, a keyboard can be handed over again
// under its old node before its old handle has been read to its end.
TEST_F(KeyboardTapBrokerTest, AKeyboardHandedOverAtTheNodeOfADeadOneReplacesIt) {
    pressQ();
    keyboard->closeWriteEnd();
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    close(fds[0]);
    // Not an input device: only what becomes of the dead one matters here.
    send(BrokerMessage::withFd(BrokerMessageType::Keyboard, UniqueFd(fds[1]), "/dev/input/event7"));
    pumpFor(100ms);
    EXPECT_EQ(tap->keyboardCount(), 0);
    EXPECT_FALSE(tracker.isDown(KEY_KP4));
}

}  // namespace
