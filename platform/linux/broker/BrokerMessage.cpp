#include "platform/linux/broker/BrokerMessage.h"

#include <cstring>

namespace {

constexpr unsigned char Version = 1;

bool isKnown(uint8_t type) {
    switch (BrokerMessageType(type)) {
    case BrokerMessageType::Start:
    case BrokerMessageType::Heartbeat:
    case BrokerMessageType::VirtualKeyboard:
    case BrokerMessageType::Keyboard:
    case BrokerMessageType::ScanDone:
    case BrokerMessageType::KeyboardsReleased:
    case BrokerMessageType::Problem:
        return true;
    }
    return false;
}

void putInt(unsigned char *at, int32_t value) { std::memcpy(at, &value, sizeof value); }

int32_t getInt(const unsigned char *at) {
    int32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

bool validPath(std::string_view path) {
    return !path.empty() && path.size() <= BrokerMessage::MaxPathBytes &&
           path.find('\0') == std::string_view::npos;
}

}  // namespace

BrokerMessage BrokerMessage::problem(BrokerProblem problem, int errorNumber) {
    BrokerMessage message;
    message.type = BrokerMessageType::Problem;
    message.code = int32_t(problem);
    message.errorNumber = errorNumber;
    return message;
}

BrokerMessage BrokerMessage::withFd(BrokerMessageType type, UniqueFd fd, std::string path) {
    BrokerMessage message;
    message.type = type;
    message.fd = std::move(fd);
    message.path = std::move(path);
    return message;
}

bool BrokerMessage::carriesFd(BrokerMessageType type) {
    return type == BrokerMessageType::VirtualKeyboard || type == BrokerMessageType::Keyboard;
}

std::vector<unsigned char> BrokerMessage::encode() const {
    const bool wantsPath = type == BrokerMessageType::Keyboard;
    if (wantsPath ? !validPath(path) : !path.empty()) return {};
    std::vector<unsigned char> bytes(HeaderBytes + path.size());
    encodeHeader(std::span<unsigned char, HeaderBytes>(bytes.data(), HeaderBytes));
    std::memcpy(bytes.data() + HeaderBytes, path.data(), path.size());
    return bytes;
}

void BrokerMessage::encodeHeader(std::span<unsigned char, HeaderBytes> out) const {
    out[0] = Version;
    out[1] = uint8_t(type);
    out[2] = out[3] = 0;
    putInt(&out[4], code);
    putInt(&out[8], errorNumber);
}

std::optional<BrokerMessage> BrokerMessage::decode(std::span<const unsigned char> bytes,
                                                   std::vector<UniqueFd> fds) {
    if (bytes.size() < HeaderBytes || bytes.size() > MaxBytes) return std::nullopt;
    if (bytes[0] != Version || !isKnown(bytes[1]) || bytes[2] != 0 || bytes[3] != 0)
        return std::nullopt;
    BrokerMessage message;
    message.type = BrokerMessageType(bytes[1]);
    if (fds.size() != (carriesFd(message.type) ? 1u : 0u)) return std::nullopt;
    message.code = getInt(&bytes[4]);
    message.errorNumber = getInt(&bytes[8]);
    message.path.assign(reinterpret_cast<const char *>(bytes.data() + HeaderBytes),
                        bytes.size() - HeaderBytes);
    const bool wantsPath = message.type == BrokerMessageType::Keyboard;
    if (wantsPath ? !validPath(message.path) : !message.path.empty()) return std::nullopt;
    if (!fds.empty()) message.fd = std::move(fds.front());
    return message;
}
