#pragma once

#include "platform/linux/broker/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What travels between the keyboard broker (root) and the person's side of Velmora: one
// message per datagram of a SOCK_SEQPACKET socket, a fixed header, a device path for
// keyboards, and the message's descriptor (if its kind carries one) as SCM_RIGHTS.
enum class BrokerMessageType : uint8_t {
    // The person's side to the broker.
    Start = 1,      // open the devices now (sent once this Velmora is the only one)
    Heartbeat = 2,  // the person's main thread is alive
    // The broker to the person's side.
    VirtualKeyboard = 16,    // fd: the virtual keyboard on /dev/uinput
    Keyboard = 17,           // fd + path: a keyboard, opened read-write
    ScanDone = 18,           // every keyboard present at Start has been sent
    KeyboardsReleased = 19,  // heartbeats stopped: grabs let go and every key lifted
    Problem = 20,            // code (BrokerProblem) and errno
};

enum class BrokerProblem : int32_t {
    NoVirtualKeyboard = 1,  // /dev/uinput could not be used
    NoPermission = 2,       // keyboards exist but none could be opened
    BrokerNotStarted = 3,   // the broker program could not be run
};

struct BrokerMessage {
    static constexpr size_t HeaderBytes = 12;
    static constexpr size_t MaxPathBytes = 255;
    static constexpr size_t MaxBytes = HeaderBytes + MaxPathBytes;

    BrokerMessage() = default;
    explicit BrokerMessage(BrokerMessageType type) : type(type) {}

    BrokerMessageType type = BrokerMessageType::Heartbeat;
    int32_t code = 0;
    int32_t errorNumber = 0;
    std::string path;
    UniqueFd fd;

    static BrokerMessage problem(BrokerProblem problem, int errorNumber);
    static BrokerMessage withFd(BrokerMessageType type, UniqueFd fd, std::string path = {});

    // True for the kinds that carry exactly one descriptor; all others carry none.
    static bool carriesFd(BrokerMessageType type);
    // The datagram body; empty when the message cannot be sent as it is (a path too long,
    // or one where its kind has none).
    std::vector<unsigned char> encode() const;
    // The header alone, without allocating: all there is of a message without a path, and
    // safe in a child between fork and exec.
    void encodeHeader(std::span<unsigned char, HeaderBytes> out) const;
    // A message from a datagram body and the descriptors that came with it, or nothing
    // when anything about them is wrong; the descriptors are closed then.
    static std::optional<BrokerMessage> decode(std::span<const unsigned char> bytes,
                                               std::vector<UniqueFd> fds);
};
