#include "platform/linux/broker/PipeKeyboardSource.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PipeKeyboardSource::PipeKeyboardSource(uint64_t identity, bool hasPointer)
    : m_identity(identity), m_hasPointer(hasPointer) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0) {
        m_readFd = fds[0];
        m_writeFd = fds[1];
        fcntl(m_readFd, F_SETFL, O_NONBLOCK);
    }
}

PipeKeyboardSource::~PipeKeyboardSource() {
    closeWriteEnd();
    if (m_readFd >= 0) ::close(m_readFd);
}

void PipeKeyboardSource::closeWriteEnd() {
    if (m_writeFd >= 0) ::close(m_writeFd);
    m_writeFd = -1;
}

bool PipeKeyboardSource::isPresent() const {
    pollfd hangUp{m_readFd, 0, 0};
    return poll(&hangUp, 1, 0) == 0;
}

bool PipeKeyboardSource::grab() {
    m_grabbed = true;
    return true;
}

ReadStatus PipeKeyboardSource::readEvents(std::vector<input_event> &events) {
    return m_reader.read(m_readFd, events);
}

bool PipeKeyboardSource::ledOn(uint16_t led) const {
    const auto it = m_leds.find(led);
    return it != m_leds.end() && it->second;
}
