#pragma once

#include "platform/linux/broker/KeyboardSource.h"

#include <cstddef>

// Reads input_event records from a non-blocking fd. A record split across reads (a pipe
// written in large chunks) is kept until its remaining bytes arrive.
class InputEventReader {
public:
    ReadStatus read(int fd, std::vector<input_event> &events);

private:
    static constexpr size_t BatchRecords = 256;
    unsigned char m_partial[sizeof(input_event)] = {};
    size_t m_partialBytes = 0;
};
