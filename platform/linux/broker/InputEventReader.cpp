#include "platform/linux/broker/InputEventReader.h"

#include <unistd.h>
#include <cerrno>
#include <cstring>

ReadStatus InputEventReader::read(int fd, std::vector<input_event> &events) {
    unsigned char buffer[BatchRecords * sizeof(input_event)];
    std::memcpy(buffer, m_partial, m_partialBytes);
    ssize_t got;
    do {
        got = ::read(fd, buffer + m_partialBytes, sizeof(buffer) - m_partialBytes);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return errno == EAGAIN ? ReadStatus::Ok : ReadStatus::Gone;
    // End of file: the writing side went away, which is how an unplug looks on a pipe.
    if (got == 0) return ReadStatus::Gone;

    const size_t total = m_partialBytes + size_t(got);
    const size_t records = total / sizeof(input_event);
    const size_t oldSize = events.size();
    events.resize(oldSize + records);
    std::memcpy(events.data() + oldSize, buffer, records * sizeof(input_event));
    m_partialBytes = total - records * sizeof(input_event);
    std::memcpy(m_partial, buffer + records * sizeof(input_event), m_partialBytes);
    return ReadStatus::Ok;
}
