#include "platform/linux/broker/KeyboardBroker.h"

#include "platform/linux/broker/InputEvent.h"
#include "platform/linux/broker/PipeKeyboardSource.h"
#include "platform/linux/broker/PipeSink.h"
#include "tests/keymap/PlayingState.h"
#include "tests/platform/OutputTracker.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr auto StallLimit = 300ms;
using T = BrokerMessageType;

std::pair<UniqueFd, UniqueFd> makePipe() {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Two keyboards and a virtual keyboard made of pipes, a third keyboard to plug in, and a seat
// the test makes active or not.
struct FakeMachine {
    bool virtualKeyboardWorks = true;
    // Its own handle on what the virtual keyboard is sent, readable after the broker ended.
    UniqueFd virtualKeyboardOutput;
    std::vector<PipeKeyboardSource *> keyboards;
    std::unique_ptr<PipeKeyboardSource> plugged;
    UniqueFd watchRead, watchWrite;
    std::optional<bool> seatActive = true;
    UniqueFd seatRead, seatWrite;
    std::mutex mutex;

    FakeMachine() {
        std::tie(watchRead, watchWrite) = makePipe();
        std::tie(seatRead, seatWrite) = makePipe();
    }
    std::unique_ptr<PipeKeyboardSource> keyboard() {
        auto made = std::make_unique<PipeKeyboardSource>(keyboards.size());
        keyboards.push_back(made.get());
        return made;
    }
    void plug() {
        std::lock_guard lock(mutex);
        plugged = keyboard();
        ASSERT_EQ(::write(watchWrite.get(), "+", 1), 1);
    }
    void setSeat(std::optional<bool> active) {
        {
            std::lock_guard lock(mutex);
            seatActive = active;
        }
        ASSERT_EQ(::write(seatWrite.get(), "+", 1), 1);
    }
    bool allGrabbed(bool grabbed) {
        std::lock_guard lock(mutex);
        return std::ranges::all_of(keyboards, [&](auto *keyboard) {
            return keyboard->isGrabbed() == grabbed;
        });
    }
};

class FakeDevices final : public BrokerDevices {
public:
    explicit FakeDevices(FakeMachine &machine) : m(machine) {}
    Created createVirtualKeyboard() override {
        if (!m.virtualKeyboardWorks) return {nullptr, ENOENT};
        auto sink = std::make_unique<PipeSink>();
        m.virtualKeyboardOutput.reset(fcntl(sink->outputFd(), F_DUPFD_CLOEXEC, 0));
        return {std::move(sink), 0};
    }
    std::unique_ptr<KeyboardSink> createVirtualPointer() override { return nullptr; }
    int startWatching() override { return m.watchRead.get(); }
    Scan scanKeyboards() override {
        std::lock_guard lock(m.mutex);
        Scan scan;
        for (int i = 0; i < 2; ++i) scan.keyboards.push_back(m.keyboard());
        return scan;
    }
    std::vector<std::unique_ptr<KeyboardSource>> takeAdded() override {
        char drain[16];
        while (::read(m.watchRead.get(), drain, sizeof drain) > 0) {
        }
        std::lock_guard lock(m.mutex);
        std::vector<std::unique_ptr<KeyboardSource>> added;
        if (m.plugged) added.push_back(std::move(m.plugged));
        return added;
    }

private:
    FakeMachine &m;
};

class FakeSeat final : public SeatSource {
public:
    explicit FakeSeat(FakeMachine &machine) : m(machine) {}
    std::optional<bool> active() override {
        std::lock_guard lock(m.mutex);
        return m.seatActive;
    }
    int watchFd() const override { return m.seatRead.get(); }
    void flush() override {
        char drain[16];
        while (::read(m.seatRead.get(), drain, sizeof drain) > 0) {
        }
    }

private:
    FakeMachine &m;
};

// A broker on its own thread with the fakes, the person's end of its socket, and what the
// virtual keyboard shows.
struct BrokerRig {
    BrokerRig() {
        UniqueFd personEnd;
        EXPECT_TRUE(BrokerChannel::makePair(brokerEnd, personEnd));
        person = std::make_unique<BrokerChannel>(std::move(personEnd));
        std::tie(stopRead, stopWrite) = makePipe();
    }
    ~BrokerRig() {
        stopWrite.reset();
        dismissed = true;
        if (thread.joinable()) thread.join();
    }
    // The broker's devices stay until the rig goes, for the test to look at after the end.
    void run() {
        thread = std::thread([this, socket = std::move(brokerEnd)]() mutable {
            KeyboardBroker broker(std::move(socket), std::make_unique<FakeDevices>(machine),
                                  std::make_unique<FakeSeat>(machine), {}, StallLimit);
            broker.run(stopRead.get());
            ended = true;
            while (!dismissed) std::this_thread::sleep_for(1ms);
        });
    }
    void send(const BrokerMessage &message) { ASSERT_EQ(person->send(message), 0); }
    BrokerChannel::Received next() {
        pollfd fd{person->fd(), POLLIN, 0};
        poll(&fd, 1, 5000);
        return person->receive();
    }
    // The first status that fits, among those that come within a few seconds.
    std::optional<BrokerStatus> awaitStatus(const std::function<bool(const BrokerStatus &)> &fits) {
        for (BrokerChannel::Received r = next(); r.status == BrokerChannel::Status::Message;
             r = next())
            if (r.message.type == T::Status && fits(r.message.status)) return r.message.status;
        return std::nullopt;
    }
    void start(RemapState state = {}) {
        run();
        send(BrokerMessage(T::Start));
        send(BrokerMessage::stateOf(state));
        EXPECT_TRUE(awaitStatus([](const auto &status) { return status.keyboards == 2; }));
    }
    void write(size_t keyboard, uint16_t code, std::initializer_list<int32_t> values) {
        for (int32_t value : values) {
            const input_event frame[] = {makeInputEvent(EV_KEY, code, value),
                                         makeInputEvent(EV_SYN, SYN_REPORT, 0)};
            ASSERT_EQ(::write(machine.keyboards[keyboard]->writeFd(), frame, sizeof frame),
                      ssize_t(sizeof frame));
        }
    }
    bool output(uint16_t code) {
        return eventually([&] {
            tracker.drain(machine.virtualKeyboardOutput.get());
            return tracker.everPressed(code);
        });
    }

    FakeMachine machine;
    UniqueFd brokerEnd, stopRead, stopWrite;
    std::unique_ptr<BrokerChannel> person;
    std::thread thread;
    std::atomic<bool> ended = false;
    std::atomic<bool> dismissed = false;
    OutputTracker tracker;
};

class KeyboardBrokerTest : public ::testing::Test, public BrokerRig {};

// The state decides, and a person's side that stops beating stops the remapping but not the
// keys; it beats again, and remapping comes back.
TEST_F(KeyboardBrokerTest, RemapsOnTheStateSentUntilThePersonsSideGoesQuiet) {
    start(qOnSlot3());
    write(0, KEY_Q, {1, 0});
    EXPECT_TRUE(output(KEY_KP4));
    std::this_thread::sleep_for(StallLimit * 2);
    write(1, KEY_Q, {1, 0});
    EXPECT_TRUE(output(KEY_Q)) << "quiet: keys flow unchanged";
    EXPECT_TRUE(machine.allGrabbed(true));
    send(BrokerMessage(T::Heartbeat));
    tracker.clear();
    write(1, KEY_Q, {1, 0});
    EXPECT_TRUE(output(KEY_KP4));
}

TEST_F(KeyboardBrokerTest, ReportsKeyboardsTheChatAndThePanicChord) {
    RemapState state = qOnSlot3();
    state.chatPauseEnabled = true;
    start(state);
    machine.plug();
    EXPECT_TRUE(awaitStatus([](const auto &status) { return status.keyboards == 3; }));
    write(0, KEY_ENTER, {1, 0});
    EXPECT_TRUE(awaitStatus([](const auto &status) { return status.chatPaused; }));
    for (uint16_t code : {KEY_BACKSPACE, KEY_ESC, KEY_ENTER}) write(1, code, {1});
    EXPECT_TRUE(awaitStatus([](const auto &status) { return status.panicReleased; }));
    EXPECT_TRUE(machine.allGrabbed(false));
    // Switching on again takes them back.
    for (bool on : {false, true}) {
        state.remapSwitch = on;
        send(BrokerMessage::stateOf(state));
    }
    EXPECT_TRUE(awaitStatus([](const auto &status) { return !status.panicReleased; }));
    EXPECT_TRUE(eventually([&] { return machine.allGrabbed(true); }));
}

TEST_F(KeyboardBrokerTest, FollowsTheSeat) {
    start();
    machine.setSeat(false);
    EXPECT_TRUE(awaitStatus([](const auto &status) { return status.seatInactive; }));
    EXPECT_TRUE(machine.allGrabbed(false));
    machine.setSeat(true);
    EXPECT_TRUE(awaitStatus([](const auto &status) { return !status.seatInactive; }));
    EXPECT_TRUE(machine.allGrabbed(true));
    machine.setSeat(std::nullopt);
    const auto unknown = awaitStatus([](const auto &status) { return status.seatUnknown; });
    EXPECT_FALSE(unknown->seatInactive) << "without logind, as ever";
    EXPECT_TRUE(machine.allGrabbed(true));
}

TEST_F(KeyboardBrokerTest, WithoutAVirtualKeyboardNoKeyboardIsTaken) {
    machine.virtualKeyboardWorks = false;
    run();
    send(BrokerMessage(T::Start));
    BrokerChannel::Received problem = next();
    EXPECT_EQ(problem.message.type, T::Problem);
    EXPECT_EQ(problem.message.code, int32_t(BrokerProblem::NoVirtualKeyboard));
    EXPECT_EQ(problem.message.errorNumber, ENOENT);
    EXPECT_TRUE(awaitStatus([](const auto &status) { return status.keyboards == 0; }));
}

// What letting go releases is the tap's to show; here, that every way of breaking off ends in it.
TEST(KeyboardBrokerEndTest, EndsAndLetsGoWhenThePersonsSideBreaksOff) {
    const struct {
        const char *what;
        std::function<void(BrokerRig &)> breakOff;
    } cases[] = {
        {"socket closed", [](BrokerRig &rig) { rig.person.reset(); }},
        {"broker's own message sent to it",
         [](BrokerRig &rig) { rig.send(BrokerMessage::statusOf({})); }},
        {"second start", [](BrokerRig &rig) { rig.send(BrokerMessage(T::Start)); }},
        {"not a message", [](BrokerRig &rig) { ::send(rig.person->fd(), "??", 2, 0); }},
        {"stop signal", [](BrokerRig &rig) { rig.stopWrite.reset(); }},
    };
    for (const auto &c : cases) {
        BrokerRig rig;
        rig.start();
        c.breakOff(rig);
        ASSERT_TRUE(eventually([&] { return rig.ended.load(); })) << c.what;
        EXPECT_TRUE(rig.machine.allGrabbed(false)) << c.what;
    }
}

}  // namespace
