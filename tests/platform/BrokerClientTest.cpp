#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerProcess.h"
#include "platform/linux/BrokerTap.h"

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
        ourEnd = std::make_unique<BrokerChannel>(UniqueFd(fcntl(ours.get(), F_DUPFD_CLOEXEC, 0)));
        client = std::make_unique<BrokerClient>(std::move(ours), -1);
    }
    // Fills the broker's queue, as a broker that has stopped reading would leave it.
    void fillQueue() {
        while (ourEnd->send(BrokerMessage(T::Heartbeat)) == 0) {
        }
    }
    void brokerSends(const BrokerMessage &message) { ASSERT_EQ(broker->send(message), 0); }
    std::vector<BrokerMessage> heardByBroker() {
        std::vector<BrokerMessage> heard;
        for (auto r = broker->receive(); r.status == BrokerChannel::Status::Message;
             r = broker->receive())
            heard.push_back(r.message);
        return heard;
    }

    std::unique_ptr<BrokerChannel> broker;
    std::unique_ptr<BrokerChannel> ourEnd;
    std::unique_ptr<BrokerClient> client;
    std::vector<BrokerMessage> received;
    BrokerClient::Handler collect = [this](BrokerMessage m) { received.push_back(std::move(m)); };
};

TEST(BrokerClientTest, TheFirstStatusArrivesBeforeStartReturnsAndTheRestLater) {
    ClientRig rig;
    rig.brokerSends(BrokerMessage::problem(BrokerProblem::NoPermission, EACCES));
    rig.brokerSends(BrokerMessage::statusOf({}));
    rig.brokerSends(BrokerMessage::statusOf({.keyboards = 2}));
    ASSERT_TRUE(rig.client->start(rig.collect, 5s).ok());
    ASSERT_EQ(rig.heardByBroker().size(), 1u);
    ASSERT_EQ(rig.received.size(), 2u);
    EXPECT_EQ(rig.received[0].type, T::Problem);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.received.size() >= 3; }, 5000));
    EXPECT_EQ(rig.received[2].status.keyboards, 2);
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
    later.brokerSends(BrokerMessage::statusOf({}));
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

// The person's side of the tap: the state goes out when set, and again once a full queue has
// room; what the broker reports becomes the status line's words.
TEST(BrokerTapTest, SendsTheStateAndSaysWhatTheBrokerReports) {
    ClientRig rig;
    rig.brokerSends(BrokerMessage::statusOf({.keyboards = 2}));
    auto tap = BrokerTap::create(std::move(rig.client));
    ASSERT_TRUE(tap.ok());
    EXPECT_EQ((*tap)->statusText(), QStringLiteral("Active with 2 keyboard(s)"));
    RemapState state;
    state.remapSwitch = true;
    const auto statesHeard = [&] {
        return std::ranges::count(rig.heardByBroker(), T::State, &BrokerMessage::type);
    };
    (*tap)->setRemapState(state);
    EXPECT_EQ(statesHeard(), 1);
    rig.fillQueue();
    state.gameInFront = true;
    (*tap)->setRemapState(state);
    EXPECT_EQ(statesHeard(), 0) << "the queue was full";
    EXPECT_TRUE(QTest::qWaitFor([&] { return statesHeard() == 1; }, 5000)) << "sent on a beat";
    QSignalSpy changed(tap->get(), &EventTap::statusChanged);
    rig.brokerSends(
        BrokerMessage::statusOf({.keyboards = 2, .chatPaused = true, .seatUnknown = true}));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE((*tap)->chatPaused());
    EXPECT_TRUE((*tap)->statusText().contains(QStringLiteral("without logind")));
    rig.broker.reset();
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE((*tap)->statusText().contains(QStringLiteral("helper has ended")));
}

TEST(BrokerTapTest, AProblemBeforeTheFirstStatusIsWhyThereIsNoTap) {
    ClientRig rig;
    rig.brokerSends(BrokerMessage::problem(BrokerProblem::NoVirtualKeyboard, ENOENT));
    rig.brokerSends(BrokerMessage::statusOf({}));
    auto tap = BrokerTap::create(std::move(rig.client));
    ASSERT_FALSE(tap.ok());
    EXPECT_EQ(tap.failure().errorNumber, ENOENT);
    EXPECT_TRUE(tap.failure().message.contains(QStringLiteral("uinput")));
}

}  // namespace
