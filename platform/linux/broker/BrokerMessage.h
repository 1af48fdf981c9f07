#pragma once

#include "keymap/RemapDecision.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// What travels between the keyboard broker (root) and the person's side of Velmora: one message
// per datagram of a SOCK_SEQPACKET socket, a fixed header and, for some kinds, a body of a fixed
// size. No descriptor ever travels.
enum class BrokerMessageType : uint8_t {
    // The person's side to the broker.
    Start = 1,      // open the devices now (sent once this Velmora is the only one)
    Heartbeat = 2,  // the person's main thread is alive
    State = 3,      // body: the RemapState to decide on from now on
    // The broker to the person's side.
    Status = 16,   // body: a BrokerStatus, sent whenever it changes
    Problem = 20,  // code (BrokerProblem) and errno
};

enum class BrokerProblem : int32_t {
    NoVirtualKeyboard = 1,  // /dev/uinput could not be used
    NoPermission = 2,       // keyboards exist but none could be opened
    BrokerNotStarted = 3,   // the broker program could not be run
};

// What the person's side shows of the broker.
struct BrokerStatus {
    int32_t keyboards = 0;
    bool panicReleased = false;  // Backspace+Escape+Enter let the keyboards go
    bool stallReleased = false;  // the broker's own loop stalled; taken back shortly
    bool chatPaused = false;     // the game's chat is open
    bool seatInactive = false;   // another session is in front: every keyboard let go
    bool seatUnknown = false;    // no logind session to follow

    bool operator==(const BrokerStatus &) const = default;
};

struct BrokerMessage {
    static constexpr size_t HeaderBytes = 12;
    // The longest datagram, a State: flags, the pair count, six slots and every pair row.
    static constexpr size_t MaxBytes = HeaderBytes + 8 + 6 * 4 + MaxPairs * 6;

    BrokerMessage() = default;
    explicit BrokerMessage(BrokerMessageType type) : type(type) {}

    BrokerMessageType type = BrokerMessageType::Heartbeat;
    int32_t code = 0;
    int32_t errorNumber = 0;
    RemapState state;
    BrokerStatus status;

    static BrokerMessage problem(BrokerProblem problem, int errorNumber);
    static BrokerMessage stateOf(const RemapState &state);
    static BrokerMessage statusOf(const BrokerStatus &status);

    // The datagram.
    std::vector<unsigned char> encode() const;
    // The header alone, without allocating: all there is of a message without a body, and
    // safe in a child between fork and exec.
    void encodeHeader(std::span<unsigned char, HeaderBytes> out) const;
    // A message from a datagram, or nothing when anything about it is wrong: its kind, its
    // size, a field out of range, a pair that no keyboard could type.
    static std::optional<BrokerMessage> decode(std::span<const unsigned char> bytes);
};
