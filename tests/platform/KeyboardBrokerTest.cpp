#include "platform/linux/broker/KeyboardBroker.h"

#include "platform/linux/broker/KeyRelease.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <set>
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

// Keyboards and a virtual keyboard made of pipes; what the broker does to them is recorded
// for the test thread.
struct FakeMachine {
    std::atomic<int> ungrabs = 0;
    bool virtualKeyboardWorks = true;
    UniqueFd virtualKeyboardOutput;
    UniqueFd watchRead, watchWrite;
    std::mutex mutex;
    std::vector<BrokerDevices::Opened> plugged;
    std::map<int, uint64_t> identityOfFd;
    std::set<uint64_t> gone;
    std::vector<UniqueFd> keyboardReadEnds;

    BrokerDevices::Opened keyboard(uint64_t identity) {
        auto [read, write] = makePipe();
        keyboardReadEnds.push_back(std::move(read));
        identityOfFd[write.get()] = identity;
        return {std::move(write), "/dev/input/event" + std::to_string(identity), identity};
    }
    void plug(uint64_t identity) {
        std::lock_guard lock(mutex);
        plugged.push_back(keyboard(identity));
        ASSERT_EQ(::write(watchWrite.get(), "+", 1), 1);
    }
    bool scanned() {
        std::lock_guard lock(mutex);
        return keyboardReadEnds.size() == 2;
    }
    void unplug(uint64_t identity) {
        std::lock_guard lock(mutex);
        gone.insert(identity);
    }
    // True when a whole all-keys release reaches the virtual keyboard within five seconds.
    // The broker lets the keyboards go before it writes the release, so a test that saw the
    // ungrabs may get here first.
    bool releasedAllKeys() {
        std::vector<input_event> events(KeyRelease::allKeys().size());
        const size_t bytes = events.size() * sizeof(input_event);
        auto *into = reinterpret_cast<char *>(events.data());
        size_t got = 0;
        pollfd fd{virtualKeyboardOutput.get(), POLLIN, 0};
        while (got < bytes && poll(&fd, 1, 5000) == 1) {
            const ssize_t n = ::read(fd.fd, into + got, bytes - got);
            if (n <= 0) break;
            got += size_t(n);
        }
        return got == bytes && events.back().type == EV_SYN;
    }
};

class FakeDevices final : public BrokerDevices {
public:
    explicit FakeDevices(FakeMachine &machine) : m(machine) {}
    Created createVirtualKeyboard() override {
        if (!m.virtualKeyboardWorks) return {UniqueFd(), ENOENT};
        auto [read, write] = makePipe();
        m.virtualKeyboardOutput = std::move(read);
        return {std::move(write), 0};
    }
    int startWatching() override {
        auto [read, write] = makePipe();
        m.watchRead = std::move(read);
        m.watchWrite = std::move(write);
        return m.watchRead.get();
    }
    Scan scanKeyboards() override {
        std::lock_guard lock(m.mutex);
        Scan scan;
        for (uint64_t identity : {1, 2}) scan.keyboards.push_back(m.keyboard(identity));
        return scan;
    }
    std::vector<Opened> takeAdded() override {
        char drain[16];
        while (::read(m.watchRead.get(), drain, sizeof drain) > 0) {
        }
        std::lock_guard lock(m.mutex);
        return std::exchange(m.plugged, {});
    }
    void ungrab(int) override { ++m.ungrabs; }
    bool present(int fd) override {
        std::lock_guard lock(m.mutex);
        return !m.gone.contains(m.identityOfFd[fd]);
    }

private:
    FakeMachine &m;
};

// A broker on its own thread, the person's end of its socket, and a way to stop it.
struct BrokerRig {
    FakeMachine machine;
    UniqueFd brokerEnd, stopRead, stopWrite;
    std::unique_ptr<BrokerChannel> person;
    std::thread thread;
    std::atomic<bool> ended = false;

    BrokerRig() {
        UniqueFd personEnd;
        EXPECT_TRUE(BrokerChannel::makePair(brokerEnd, personEnd));
        person = std::make_unique<BrokerChannel>(std::move(personEnd));
        std::tie(stopRead, stopWrite) = makePipe();
    }
    ~BrokerRig() {
        stopWrite.reset();
        if (thread.joinable()) thread.join();
    }
    void run() {
        thread = std::thread([this, socket = std::move(brokerEnd)]() mutable {
            KeyboardBroker broker(std::move(socket), std::make_unique<FakeDevices>(machine),
                                  StallLimit);
            broker.run(stopRead.get());
            ended = true;
        });
    }
    void send(T type) { ASSERT_EQ(person->send(BrokerMessage{type}), 0); }
    BrokerChannel::Received next() {
        pollfd fd{person->fd(), POLLIN, 0};
        poll(&fd, 1, 5000);
        return person->receive();
    }
    std::vector<T> startAndReceiveScan() {
        send(T::Start);
        std::vector<T> types;
        while (types.empty() || types.back() != T::ScanDone) {
            BrokerChannel::Received received = next();
            if (received.status != BrokerChannel::Status::Message) break;
            types.push_back(received.message.type);
        }
        return types;
    }
};

TEST(KeyboardBrokerTest, HandsOverTheDevicesAndFailsOpenEachTimeTheHeartbeatsStop) {
    BrokerRig rig;
    rig.run();
    EXPECT_EQ(rig.startAndReceiveScan(),
              (std::vector{T::VirtualKeyboard, T::Keyboard, T::Keyboard, T::ScanDone}));
    for (int stall = 1; stall <= 2; ++stall) {
        BrokerChannel::Received released = rig.next();
        ASSERT_EQ(released.status, BrokerChannel::Status::Message);
        EXPECT_EQ(released.message.type, T::KeyboardsReleased);
        EXPECT_EQ(rig.machine.ungrabs, 2 * stall);
        EXPECT_TRUE(rig.machine.releasedAllKeys());
        rig.send(T::Heartbeat);
    }
    EXPECT_FALSE(rig.ended);
}

TEST(KeyboardBrokerTest, WithoutAVirtualKeyboardNoKeyboardIsHandedOver) {
    BrokerRig rig;
    rig.machine.virtualKeyboardWorks = false;
    rig.run();
    rig.send(T::Start);
    BrokerChannel::Received problem = rig.next();
    EXPECT_EQ(problem.message.type, T::Problem);
    EXPECT_EQ(problem.message.code, int32_t(BrokerProblem::NoVirtualKeyboard));
    EXPECT_EQ(problem.message.errorNumber, ENOENT);
    EXPECT_EQ(rig.next().message.type, T::ScanDone);
}

TEST(KeyboardBrokerTest, APluggedKeyboardIsHandedOverOnceAndAgainWhenItCameBack) {
    BrokerRig rig;
    rig.run();
    rig.startAndReceiveScan();
    rig.send(T::Heartbeat);
    // Identity 2 is still there: a second report of it (scan and watch overlapping) is dropped.
    rig.machine.plug(2);
    rig.machine.plug(3);
    BrokerChannel::Received added = rig.next();
    EXPECT_EQ(added.message.type, T::Keyboard);
    EXPECT_EQ(added.message.path, "/dev/input/event3");
    // Identity 1 went and came back before its old handle saw the end: handed over anew.
    rig.machine.unplug(1);
    rig.machine.plug(1);
    BrokerChannel::Received back = rig.next();
    EXPECT_EQ(back.message.type, T::Keyboard);
    EXPECT_EQ(back.message.path, "/dev/input/event1");
}

TEST(KeyboardBrokerTest, EndsAndLetsGoWhenThePersonsSideBreaksOff) {
    const struct {
        const char *what;
        std::function<void(BrokerRig &)> breakOff;
    } cases[] = {
        {"socket closed", [](BrokerRig &rig) { rig.person.reset(); }},
        {"broker's own message sent to it", [](BrokerRig &rig) { rig.send(T::ScanDone); }},
        {"second start", [](BrokerRig &rig) { rig.send(T::Start); }},
        {"stop signal", [](BrokerRig &rig) { rig.stopWrite.reset(); }},
    };
    for (const auto &c : cases) {
        BrokerRig rig;
        rig.run();
        rig.startAndReceiveScan();
        rig.send(T::Heartbeat);
        c.breakOff(rig);
        ASSERT_TRUE(eventually([&] { return rig.ended.load(); })) << c.what;
        EXPECT_EQ(rig.machine.ungrabs, 2) << c.what;
        EXPECT_TRUE(rig.machine.releasedAllKeys()) << c.what;
    }
}

// The person's side as its own process, beating like Velmora's main thread.
pid_t startBeating(UniqueFd socket) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    BrokerChannel channel(std::move(socket));
    channel.send(BrokerMessage(T::Start));
    for (;;) {
        channel.send(BrokerMessage(T::Heartbeat));
        usleep(50 * 1000);
    }
}

TEST(KeyboardBrokerTest, AStoppedPersonsSideFailsOpenAndAKilledOneEndsTheBroker) {
    BrokerRig rig;
    // Forked before the broker's thread exists.
    UniqueFd personEnd(fcntl(rig.person->fd(), F_DUPFD_CLOEXEC, 0));
    const pid_t person = startBeating(std::move(personEnd));
    ASSERT_GT(person, 0);
    rig.person.reset();
    rig.run();
    ASSERT_TRUE(eventually([&] { return rig.machine.scanned(); }));

    ASSERT_EQ(kill(person, SIGSTOP), 0);
    EXPECT_TRUE(eventually([&] { return rig.machine.ungrabs == 2; })) << "stopped: let go";
    EXPECT_TRUE(rig.machine.releasedAllKeys());
    ASSERT_EQ(kill(person, SIGCONT), 0);
    std::this_thread::sleep_for(2 * StallLimit);
    EXPECT_EQ(rig.machine.ungrabs, 2) << "beating again: nothing more let go";

    ASSERT_EQ(kill(person, SIGKILL), 0);
    ASSERT_EQ(waitpid(person, nullptr, 0), person);
    EXPECT_TRUE(eventually([&] { return rig.ended.load(); })) << "killed: the broker ends";
    EXPECT_EQ(rig.machine.ungrabs, 4);
}

}  // namespace
