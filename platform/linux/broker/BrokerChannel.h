#pragma once

#include "platform/linux/broker/BrokerMessage.h"
#include "platform/linux/broker/UniqueFd.h"

#include <sys/types.h>

struct msghdr;

// One end of the broker socket (SOCK_SEQPACKET, one message per datagram). It never blocks:
// the broker must go on watching even when the person's side has stopped reading, and the
// person's main thread must never wait on the broker. It never sends a descriptor, and a
// datagram that brings one is malformed (the descriptors are closed).
class BrokerChannel {
public:
    enum class Status { Message, Empty, Closed, Malformed };
    struct Received {
        Status status;
        BrokerMessage message;
    };

    explicit BrokerChannel(UniqueFd socket) : m_socket(std::move(socket)) {}

    // A connected pair of ends, close-on-exec; false (with errno set) when none can be made.
    static bool makePair(UniqueFd &first, UniqueFd &second);

    int fd() const { return m_socket.get(); }
    // Closes this end: the peer reads the end of the socket.
    void close() { m_socket.reset(); }
    // 0, or the errno: EAGAIN when the peer's queue is full, EPIPE when the peer is gone.
    int send(const BrokerMessage &message);
    // The next message, if one is waiting.
    Received receive();

private:
    ssize_t receiveInto(msghdr &header);

    UniqueFd m_socket;
};
