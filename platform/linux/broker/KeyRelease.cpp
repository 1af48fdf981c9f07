#include "platform/linux/broker/KeyRelease.h"

#include <unistd.h>
#include <cerrno>
#include <cstdint>

namespace {

input_event event(uint16_t type, uint16_t code, int32_t value) {
    input_event e{};
    e.type = type;
    e.code = code;
    e.value = value;
    return e;
}

}  // namespace

std::vector<input_event> KeyRelease::allKeys() {
    // Built afresh each time so that no state is shared between threads.
    std::vector<input_event> events;
    events.reserve(KEY_CNT);
    for (uint16_t code = 1; code < KEY_CNT; ++code) events.push_back(event(EV_KEY, code, 0));
    events.push_back(event(EV_SYN, SYN_REPORT, 0));
    return events;
}

bool KeyRelease::writeAllKeys(int fd) {
    const std::vector<input_event> events = allKeys();
    const size_t bytes = events.size() * sizeof(input_event);
    ssize_t written;
    do {
        written = ::write(fd, events.data(), bytes);
    } while (written < 0 && errno == EINTR);
    return written == ssize_t(bytes);
}
