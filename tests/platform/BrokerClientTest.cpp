#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerProcess.h"
#include "platform/linux/BrokerStallGuard.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

using T = BrokerMessageType;

// The person's end of a broker socket, with the test playing the broker on the other end.
struct ClientRig {
    ClientRig() {
        UniqueFd ours, theirs;
        EXPECT_TRUE(BrokerChannel::makePair(ours, theirs));
        broker = std::make_unique<BrokerChannel>(std::move(theirs));
        client = std::make_unique<BrokerClient>(std::move(ours), -1);
    }
    void brokerSends(BrokerMessage message) { ASSERT_EQ(broker->send(message), 0); }
    UniqueFd somePipeEnd() {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
        close(fds[0]);
        return UniqueFd(fds[1]);
    }
    std::vector<T> heardByBroker() {
        std::vector<T> types;
        for (auto r = broker->receive(); r.status == BrokerChannel::Status::Message;
             r = broker->receive())
            types.push_back(r.message.type);
        return types;
    }

    std::unique_ptr<BrokerChannel> broker;
    std::unique_ptr<BrokerClient> client;
    std::vector<BrokerMessage> received;
    BrokerClient::Handler collect = [this](BrokerMessage m) { received.push_back(std::move(m)); };
};

TEST(BrokerClientTest, TheFirstScanArrivesBeforeStartReturnsAndTheRestLater) {
    ClientRig rig;
    rig.brokerSends(BrokerMessage::withFd(T::VirtualKeyboard, rig.somePipeEnd()));
    rig.brokerSends(BrokerMessage::withFd(T::Keyboard, rig.somePipeEnd(), "/dev/input/event3"));
    rig.brokerSends(BrokerMessage(T::ScanDone));
    rig.brokerSends(BrokerMessage(T::KeyboardsReleased));
    ASSERT_TRUE(rig.client->start(rig.collect, 5s).ok());
    EXPECT_EQ(rig.heardByBroker(), std::vector{T::Start});
    ASSERT_EQ(rig.received.size(), 3u);
    EXPECT_EQ(rig.received[1].path, "/dev/input/event3");
    EXPECT_TRUE(rig.received[1].fd);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.received.size() >= 4; }, 5000));
    ASSERT_EQ(rig.received.size(), 4u);
    EXPECT_EQ(rig.received[3].type, T::KeyboardsReleased);
}

TEST(BrokerClientTest, ABrokerThatSaysNothingOrEndsIsLost) {
    ClientRig silent;
    EXPECT_FALSE(silent.client->start(silent.collect, 200ms).ok()) << "no answer";

    ClientRig ended;
    QSignalSpy endedLost(ended.client.get(), &BrokerClient::disconnected);
    ended.broker.reset();
    EXPECT_FALSE(ended.client->start(ended.collect, 5s).ok());
    EXPECT_EQ(endedLost.size(), 1);

    ClientRig later;
    later.brokerSends(BrokerMessage(T::ScanDone));
    ASSERT_TRUE(later.client->start(later.collect, 5s).ok());
    QSignalSpy laterLost(later.client.get(), &BrokerClient::disconnected);
    later.brokerSends(BrokerMessage(T::Heartbeat));  // not the broker's to send
    EXPECT_TRUE(laterLost.wait(5000));
    EXPECT_FALSE(later.client->isConnected());
}

TEST(BrokerClientTest, ABrokerProgramThatCannotRunSaysWhy) {
    auto started = BrokerProcess::start(QStringLiteral("/nonexistent/VelmoraBroker"));
    ASSERT_TRUE(started.ok());
    BrokerClient client(std::move(started->socket), started->pid);
    std::vector<BrokerMessage> received;
    EXPECT_FALSE(client.start([&](BrokerMessage m) { received.push_back(std::move(m)); }, 5s).ok());
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].type, T::Problem);
    EXPECT_EQ(received[0].code, int32_t(BrokerProblem::BrokerNotStarted));
    EXPECT_EQ(received[0].errorNumber, ENOENT);
}

TEST(BrokerClientTest, TheBrokerEndsWithTheClientAndIsCollected) {
    UniqueFd ours, theirs;
    ASSERT_TRUE(BrokerChannel::makePair(ours, theirs));
    const pid_t broker = fork();
    ASSERT_GE(broker, 0);
    if (broker == 0) {  // a broker that serves until its socket closes
        ours.reset();
        char byte;
        while (read(theirs.get(), &byte, 1) != 0) {
        }
        _exit(0);
    }
    theirs.reset();
    { BrokerClient client(std::move(ours), broker); }
    EXPECT_EQ(waitpid(broker, nullptr, WNOHANG), -1) << "left a zombie";
}

TEST(BrokerClientTest, ThePersonsSideFailsOpenItselfOnceItWasAwayTooLong) {
    ClientRig rig;
    rig.brokerSends(BrokerMessage(T::ScanDone));
    ASSERT_TRUE(rig.client->start(rig.collect, 5s).ok());
    rig.heardByBroker();
    int stalls = 0;
    BrokerStallGuard guard(*rig.client, 300ms, [&] { ++stalls; });
    for (int key = 0; key < 100; ++key) guard.beat();
    EXPECT_EQ(stalls, 0);
    EXPECT_LE(rig.heardByBroker().size(), 1u) << "beats are not sent once per key";

    std::this_thread::sleep_for(400ms);  // the main thread was stuck, or stopped
    guard.beat();
    EXPECT_EQ(stalls, 1);
    EXPECT_TRUE(guard.tripped());
    EXPECT_EQ(rig.heardByBroker(), std::vector{T::Heartbeat}) << "and beats again at once";
    guard.brokerReleased();
    EXPECT_EQ(stalls, 1) << "the broker's word for the same stall";

    guard.reset();
    guard.brokerReleased();
    EXPECT_EQ(stalls, 2) << "the broker let go on its own";
}

}  // namespace
