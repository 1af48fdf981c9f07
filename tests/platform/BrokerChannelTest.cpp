#include "platform/linux/broker/BrokerChannel.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <functional>

namespace {

using T = BrokerMessageType;

// Every field set: the switch, the game, the chat option, a slot and two pairs, one to a key
// recorded with modifiers.
RemapState fullState() {
    RemapState state;
    state.remapSwitch = state.gameInFront = state.chatPauseEnabled = true;
    state.slotTable = makeSlotTable({KeyCombo{}, KeyCombo{0x20000, 12}});
    const KeyPair pairs[] = {{{0, 0x39}, {0, 0x35}}, {{0x2, 13}, {0x40000, 14}}};
    state.pairTable = makePairTable(pairs);
    return state;
}

// Sends raw bytes with any number of descriptors, as a faulty or hostile peer might.
void sendRaw(int socket, const std::vector<unsigned char> &bytes, std::vector<int> fds = {}) {
    iovec data{const_cast<unsigned char *>(bytes.data()), bytes.size()};
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    std::vector<unsigned char> control(CMSG_SPACE(fds.size() * sizeof(int)));
    if (!fds.empty()) {
        header.msg_control = control.data();
        header.msg_controllen = control.size();
        cmsghdr *c = CMSG_FIRSTHDR(&header);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
        std::memcpy(CMSG_DATA(c), fds.data(), fds.size() * sizeof(int));
    }
    ASSERT_EQ(sendmsg(socket, &header, 0), ssize_t(bytes.size()));
}

class BrokerChannelTest : public ::testing::Test {
protected:
    BrokerChannelTest() {
        UniqueFd a, b;
        EXPECT_TRUE(BrokerChannel::makePair(a, b));
        m_sender = std::make_unique<BrokerChannel>(std::move(a));
        m_receiver = std::make_unique<BrokerChannel>(std::move(b));
    }

    std::unique_ptr<BrokerChannel> m_sender, m_receiver;
};

TEST_F(BrokerChannelTest, EveryKindArrivesWhole) {
    const BrokerStatus status{3, true, false, true, false, true};
    const BrokerMessage messages[] = {BrokerMessage(T::Start), BrokerMessage(T::Heartbeat),
                                      BrokerMessage::stateOf(fullState()),
                                      BrokerMessage::statusOf(status),
                                      BrokerMessage::problem(BrokerProblem::NoVirtualKeyboard,
                                                             ENOENT)};
    for (const BrokerMessage &message : messages) ASSERT_EQ(m_sender->send(message), 0);
    for (const BrokerMessage &sent : messages) {
        BrokerChannel::Received received = m_receiver->receive();
        ASSERT_EQ(received.status, BrokerChannel::Status::Message);
        EXPECT_EQ(received.message.type, sent.type);
        EXPECT_EQ(received.message.state, sent.state);
        EXPECT_EQ(received.message.status, sent.status);
        EXPECT_EQ(received.message.code, sent.code);
        EXPECT_EQ(received.message.errorNumber, sent.errorNumber);
    }
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Empty);
}

TEST_F(BrokerChannelTest, MalformedMessagesAreRejectedAndTheirDescriptorsClosed) {
    using Bytes = std::vector<unsigned char>;
    const Bytes state = BrokerMessage::stateOf(fullState()).encode();
    const Bytes status = BrokerMessage::statusOf({}).encode();
    constexpr size_t Body = BrokerMessage::HeaderBytes;
    const auto changed = [](Bytes bytes, const std::function<void(Bytes &)> &change) {
        change(bytes);
        return bytes;
    };
    const auto set = [](size_t at, auto value) {
        return [=](Bytes &bytes) { std::memcpy(&bytes[at], &value, sizeof value); };
    };
    // Where the pair rows begin.
    const size_t pairs = Body + 8 + 6 * 4;
    const struct {
        const char *what;
        Bytes bytes;
        int fds = 0;
    } cases[] = {
        {"shorter than a header", {2, 2, 0}},
        {"unknown kind", changed(status, [](Bytes &b) { b[1] = 77; })},
        {"other version", changed(status, [](Bytes &b) { b[0] = 1; })},
        {"a state cut short", Bytes(state.begin(), state.end() - 1)},
        {"a heartbeat with a body",
         changed(status, [](Bytes &b) { b[1] = uint8_t(T::Heartbeat); })},
        {"an unknown state flag", changed(state, set(Body, 8u))},
        {"more pairs than the table holds", changed(state, set(Body + 4, uint32_t(MaxPairs + 1)))},
        {"a row past the pair count", changed(state, set(Body + 4, 1u))},
        {"a pair no keyboard can type", changed(state, set(pairs + 6 + 4, uint16_t(0x7F)))},
        {"a header field on a state", changed(state, set(4, 1))},
        {"an unknown status flag", changed(status, set(Body + 4, 1u << 9))},
        {"a heartbeat with a descriptor", BrokerMessage(T::Heartbeat).encode(), 1},
    };
    for (const auto &c : cases) {
        int pipe[2];
        ASSERT_EQ(pipe2(pipe, O_CLOEXEC | O_NONBLOCK), 0);
        sendRaw(m_sender->fd(), c.bytes, std::vector<int>(c.fds, pipe[1]));
        close(pipe[1]);
        EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Malformed) << c.what;
        char byte;
        EXPECT_EQ(read(pipe[0], &byte, 1), 0) << c.what << ": a descriptor was kept";
        close(pipe[0]);
    }
}

TEST_F(BrokerChannelTest, AFullQueueIsReportedNotWaitedFor) {
    int error = 0;
    for (int sent = 0; sent < 100000 && error == 0; ++sent)
        error = m_sender->send(BrokerMessage(T::Heartbeat));
    EXPECT_EQ(error, EAGAIN);
}

TEST_F(BrokerChannelTest, APeerThatDisappearsReadsAsClosed) {
    ASSERT_EQ(m_sender->send(BrokerMessage(T::Heartbeat)), 0);
    m_sender.reset();
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Message)
        << "what was sent before is still delivered";
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Closed);
    EXPECT_EQ(m_receiver->send(BrokerMessage(T::Heartbeat)), EPIPE);
}

}  // namespace
