#include "platform/linux/broker/BrokerChannel.h"

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

// Room for a few descriptors: no message carries one, and any that come are closed unused.
constexpr size_t MaxFds = 4;

// Closes every descriptor that came along; true when there was any.
bool closeFds(msghdr &header) {
    bool any = false;
    for (cmsghdr *c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            ::close(fd);
            any = true;
        }
    }
    return any;
}

}  // namespace

bool BrokerChannel::makePair(UniqueFd &first, UniqueFd &second) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return false;
    first.reset(fds[0]);
    second.reset(fds[1]);
    return true;
}

int BrokerChannel::send(const BrokerMessage &message) {
    const std::vector<unsigned char> bytes = message.encode();
    ssize_t sent;
    do {
        sent = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return errno == ECONNRESET || errno == ENOTCONN ? EPIPE : errno;
    return 0;
}

ssize_t BrokerChannel::receiveInto(msghdr &header) {
    ssize_t length;
    do {
        length = recvmsg(m_socket.get(), &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    } while (length < 0 && errno == EINTR);
    return length;
}

BrokerChannel::Received BrokerChannel::receive() {
    // One byte more than the longest message, so that an overlong one shows as truncated.
    unsigned char bytes[BrokerMessage::MaxBytes + 1];
    iovec data{bytes, sizeof bytes};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(MaxFds * sizeof(int))];
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t length = receiveInto(header);
    // A peer that closed with messages of ours unread is reported once, ahead of what it
    // sent before it went: that is still read, then the end.
    const bool reset = length < 0 && errno == ECONNRESET;
    if (reset) length = receiveInto(header);
    if (length < 0) return {errno == EAGAIN && !reset ? Status::Empty : Status::Closed, {}};
    const bool carriedFds = closeFds(header);
    // An empty datagram cannot be told from the end of the stream; none is ever sent.
    if (length == 0 && !carriedFds) return {Status::Closed, {}};
    if (carriedFds || (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) return {Status::Malformed, {}};
    auto message = BrokerMessage::decode({bytes, size_t(length)});
    if (!message) return {Status::Malformed, {}};
    return {Status::Message, std::move(*message)};
}
