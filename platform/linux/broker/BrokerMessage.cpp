#include "platform/linux/broker/BrokerMessage.h"

#include "keymap/KeyCodeTable.h"

#include <cstring>

namespace {

constexpr unsigned char Version = 2;

constexpr uint32_t SwitchOn = 1u << 0, GameInFront = 1u << 1, ChatPauseEnabled = 1u << 2;
constexpr uint32_t StateFlags = SwitchOn | GameInFront | ChatPauseEnabled;

constexpr uint32_t PanicReleased = 1u << 0, StallReleased = 1u << 1, ChatPaused = 1u << 2,
                   SeatInactive = 1u << 3, SeatUnknown = 1u << 4;
constexpr uint32_t StatusFlags =
    PanicReleased | StallReleased | ChatPaused | SeatInactive | SeatUnknown;

constexpr size_t StateBytes = BrokerMessage::MaxBytes;
constexpr size_t StatusBytes = BrokerMessage::HeaderBytes + 8;

// The exact size of each kind; 0 for an unknown one.
size_t sizeOf(uint8_t type) {
    switch (BrokerMessageType(type)) {
    case BrokerMessageType::Start:
    case BrokerMessageType::Heartbeat:
    case BrokerMessageType::Problem:
        return BrokerMessage::HeaderBytes;
    case BrokerMessageType::State:
        return StateBytes;
    case BrokerMessageType::Status:
        return StatusBytes;
    }
    return 0;
}

uint32_t flagIf(bool on, uint32_t flag) { return on ? flag : 0; }

// Reads and writes fixed-width values in host order, moving on past each.
class Writer {
public:
    explicit Writer(unsigned char *at) : m_at(at) {}
    template <typename T>
    void put(T value) {
        std::memcpy(m_at, &value, sizeof value);
        m_at += sizeof value;
    }

private:
    unsigned char *m_at;
};

class Reader {
public:
    explicit Reader(const unsigned char *at) : m_at(at) {}
    template <typename T>
    T get() {
        T value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }

private:
    const unsigned char *m_at;
};

void putState(Writer &out, const RemapState &state) {
    out.put(flagIf(state.remapSwitch, SwitchOn) | flagIf(state.gameInFront, GameInFront) |
            flagIf(state.chatPauseEnabled, ChatPauseEnabled));
    out.put(uint32_t(state.pairTable.count));
    for (const SlotEntry &slot : state.slotTable) {
        out.put(slot.slotKeyCode);
        out.put(slot.modifierWord);
    }
    for (const SlotEntry &pair : state.pairTable.rows) {
        out.put(pair.slotKeyCode);
        out.put(pair.modifierWord);
        out.put(pair.targetKeyCode);
    }
}

// A pair row is whole when a keyboard can type its replacement; past the count, it is zero.
bool validPair(const SlotEntry &pair, bool inUse) {
    if (!inUse) return pair == SlotEntry{};
    return KeyCodeTable::nativeFromVirtual(pair.targetKeyCode).has_value();
}

std::optional<RemapState> getState(Reader &in) {
    const uint32_t flags = in.get<uint32_t>();
    const uint32_t pairCount = in.get<uint32_t>();
    if ((flags & ~StateFlags) != 0 || pairCount > MaxPairs) return std::nullopt;
    RemapState state;
    state.remapSwitch = flags & SwitchOn;
    state.gameInFront = flags & GameInFront;
    state.chatPauseEnabled = flags & ChatPauseEnabled;
    for (size_t i = 0; i < state.slotTable.size(); ++i) {
        const uint16_t key = in.get<uint16_t>();
        const uint16_t modifierWord = in.get<uint16_t>();
        state.slotTable[i] = {key, modifierWord, SlotTargetKeyCodes[i]};
    }
    state.pairTable.count = pairCount;
    for (size_t i = 0; i < MaxPairs; ++i) {
        SlotEntry &pair = state.pairTable.rows[i];
        pair.slotKeyCode = in.get<uint16_t>();
        pair.modifierWord = in.get<uint16_t>();
        pair.targetKeyCode = in.get<uint16_t>();
        if (!validPair(pair, i < pairCount)) return std::nullopt;
    }
    return state;
}

void putStatus(Writer &out, const BrokerStatus &status) {
    out.put(status.keyboards);
    out.put(flagIf(status.panicReleased, PanicReleased) |
            flagIf(status.stallReleased, StallReleased) | flagIf(status.chatPaused, ChatPaused) |
            flagIf(status.seatInactive, SeatInactive) | flagIf(status.seatUnknown, SeatUnknown));
}

std::optional<BrokerStatus> getStatus(Reader &in) {
    BrokerStatus status;
    status.keyboards = in.get<int32_t>();
    const uint32_t flags = in.get<uint32_t>();
    if (status.keyboards < 0 || (flags & ~StatusFlags) != 0) return std::nullopt;
    status.panicReleased = flags & PanicReleased;
    status.stallReleased = flags & StallReleased;
    status.chatPaused = flags & ChatPaused;
    status.seatInactive = flags & SeatInactive;
    status.seatUnknown = flags & SeatUnknown;
    return status;
}

}  // namespace

BrokerMessage BrokerMessage::problem(BrokerProblem problem, int errorNumber) {
    BrokerMessage message(BrokerMessageType::Problem);
    message.code = int32_t(problem);
    message.errorNumber = errorNumber;
    return message;
}

BrokerMessage BrokerMessage::stateOf(const RemapState &state) {
    BrokerMessage message(BrokerMessageType::State);
    message.state = state;
    return message;
}

BrokerMessage BrokerMessage::statusOf(const BrokerStatus &status) {
    BrokerMessage message(BrokerMessageType::Status);
    message.status = status;
    return message;
}

std::vector<unsigned char> BrokerMessage::encode() const {
    std::vector<unsigned char> bytes(sizeOf(uint8_t(type)));
    encodeHeader(std::span<unsigned char, HeaderBytes>(bytes.data(), HeaderBytes));
    Writer body(bytes.data() + HeaderBytes);
    if (type == BrokerMessageType::State) putState(body, state);
    if (type == BrokerMessageType::Status) putStatus(body, status);
    return bytes;
}

void BrokerMessage::encodeHeader(std::span<unsigned char, HeaderBytes> out) const {
    out[0] = Version;
    out[1] = uint8_t(type);
    out[2] = out[3] = 0;
    Writer fields(&out[4]);
    fields.put(code);
    fields.put(errorNumber);
}

std::optional<BrokerMessage> BrokerMessage::decode(std::span<const unsigned char> bytes) {
    if (bytes.size() < HeaderBytes || bytes.size() != sizeOf(bytes[1])) return std::nullopt;
    if (bytes[0] != Version || bytes[2] != 0 || bytes[3] != 0) return std::nullopt;
    BrokerMessage message{BrokerMessageType(bytes[1])};
    Reader in(&bytes[4]);
    message.code = in.get<int32_t>();
    message.errorNumber = in.get<int32_t>();
    // Only a problem says anything in the header's fields.
    if (message.type != BrokerMessageType::Problem && (message.code || message.errorNumber))
        return std::nullopt;
    if (message.type == BrokerMessageType::State) {
        auto state = getState(in);
        if (!state) return std::nullopt;
        message.state = *state;
    }
    if (message.type == BrokerMessageType::Status) {
        auto status = getStatus(in);
        if (!status) return std::nullopt;
        message.status = *status;
    }
    return message;
}
