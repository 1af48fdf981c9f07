#include "platform/linux/broker/BrokerChannel.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

struct Pipe {
    UniqueFd read, write;
    Pipe() {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        read.reset(fds[0]);
        write.reset(fds[1]);
    }
    // True once no write end is open anywhere.
    bool writersGone() const {
        char byte;
        return ::read(read.get(), &byte, 1) == 0;
    }
};

std::vector<unsigned char> header(uint8_t type, size_t pathBytes = 0) {
    BrokerMessage message;
    message.type = BrokerMessageType::Heartbeat;
    std::vector<unsigned char> bytes = message.encode();
    bytes[1] = type;
    bytes.resize(bytes.size() + pathBytes, 'a');
    return bytes;
}

// Sends raw bytes with any number of descriptors, as a faulty or hostile peer might.
void sendRaw(int socket, const std::vector<unsigned char> &bytes, std::vector<int> fds) {
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

TEST_F(BrokerChannelTest, MessagesArriveWholeWithTheirDescriptor) {
    Pipe pipe;
    ASSERT_EQ(m_sender->send(BrokerMessage::withFd(BrokerMessageType::Keyboard,
                                                   std::move(pipe.write), "/dev/input/event7")),
              0);
    ASSERT_EQ(m_sender->send(BrokerMessage::problem(BrokerProblem::NoVirtualKeyboard, ENOENT)), 0);

    BrokerChannel::Received keyboard = m_receiver->receive();
    ASSERT_EQ(keyboard.status, BrokerChannel::Status::Message);
    EXPECT_EQ(keyboard.message.type, BrokerMessageType::Keyboard);
    EXPECT_EQ(keyboard.message.path, "/dev/input/event7");
    EXPECT_EQ(fcntl(keyboard.message.fd.get(), F_GETFD), FD_CLOEXEC);
    ASSERT_EQ(::write(keyboard.message.fd.get(), "k", 1), 1);
    char byte = 0;
    EXPECT_EQ(::read(pipe.read.get(), &byte, 1), 1);

    BrokerChannel::Received problem = m_receiver->receive();
    ASSERT_EQ(problem.status, BrokerChannel::Status::Message);
    EXPECT_EQ(problem.message.code, int32_t(BrokerProblem::NoVirtualKeyboard));
    EXPECT_EQ(problem.message.errorNumber, ENOENT);
    EXPECT_FALSE(problem.message.fd);
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Empty);
}

TEST_F(BrokerChannelTest, MalformedMessagesAreRejectedAndTheirDescriptorsClosed) {
    const struct {
        const char *what;
        std::vector<unsigned char> bytes;
        int fds;
    } cases[] = {
        {"shorter than a header", {1, 2, 0}, 0},
        {"unknown kind", header(77), 0},
        {"heartbeat with a descriptor", header(uint8_t(BrokerMessageType::Heartbeat)), 1},
        {"keyboard without a descriptor", header(uint8_t(BrokerMessageType::Keyboard), 5), 0},
        {"keyboard with two descriptors", header(uint8_t(BrokerMessageType::Keyboard), 5), 2},
        {"keyboard without a path", header(uint8_t(BrokerMessageType::Keyboard)), 1},
        {"path on a heartbeat", header(uint8_t(BrokerMessageType::Heartbeat), 3), 0},
        {"overlong", header(uint8_t(BrokerMessageType::Keyboard), BrokerMessage::MaxPathBytes + 1),
         1},
    };
    for (const auto &c : cases) {
        Pipe pipe;
        std::vector<int> fds(c.fds, pipe.write.get());
        sendRaw(m_sender->fd(), c.bytes, fds);
        pipe.write.reset();
        EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Malformed) << c.what;
        EXPECT_TRUE(pipe.writersGone()) << c.what;
    }
    std::vector<unsigned char> versionTwo = header(uint8_t(BrokerMessageType::Heartbeat));
    versionTwo[0] = 2;
    sendRaw(m_sender->fd(), versionTwo, {});
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Malformed);
}

TEST_F(BrokerChannelTest, UnsendableMessagesAreRefused) {
    BrokerMessage keyboard;
    keyboard.type = BrokerMessageType::Keyboard;
    keyboard.path = "/dev/input/event1";
    EXPECT_EQ(m_sender->send(keyboard), EINVAL) << "a keyboard without its descriptor";
    Pipe pipe;
    EXPECT_EQ(m_sender->send(BrokerMessage::withFd(BrokerMessageType::Keyboard,
                                                   std::move(pipe.write), std::string(300, 'x'))),
              EINVAL);
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Empty);
}

TEST_F(BrokerChannelTest, AFullQueueIsReportedNotWaitedFor) {
    int error = 0;
    for (int sent = 0; sent < 100000 && error == 0; ++sent)
        error = m_sender->send(BrokerMessage(BrokerMessageType::Heartbeat));
    EXPECT_EQ(error, EAGAIN);
}

TEST_F(BrokerChannelTest, APeerThatDisappearsReadsAsClosed) {
    ASSERT_EQ(m_sender->send(BrokerMessage(BrokerMessageType::Heartbeat)), 0);
    m_sender.reset();
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Message)
        << "what was sent before is still delivered";
    EXPECT_EQ(m_receiver->receive().status, BrokerChannel::Status::Closed);
    EXPECT_EQ(m_receiver->send(BrokerMessage(BrokerMessageType::Heartbeat)), EPIPE);
}

}  // namespace
