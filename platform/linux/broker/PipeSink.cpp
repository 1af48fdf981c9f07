#include "platform/linux/broker/PipeSink.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace {

constexpr int OutputPipeBytes = 1 << 20;

void makePipe(int *readEnd, int *writeEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    *readEnd = fds[0];
    *writeEnd = fds[1];
}

void closeFd(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace

PipeSink::PipeSink() {
    makePipe(&m_outputRead, &m_outputWrite);
    makePipe(&m_feedbackRead, &m_feedbackWrite);
    // Roomy, so that a test can let a good deal of output pile up before reading it.
    fcntl(m_outputWrite, F_SETPIPE_SZ, OutputPipeBytes);
}

PipeSink::~PipeSink() {
    for (int fd : {m_outputRead, m_outputWrite, m_feedbackRead, m_feedbackWrite}) closeFd(fd);
}

bool PipeSink::writeEvents(std::span<const input_event> events) {
    ssize_t written;
    do {
        written = ::write(m_outputWrite, events.data(), events.size_bytes());
    } while (written < 0 && errno == EINTR);
    return written == ssize_t(events.size_bytes());
}

ReadStatus PipeSink::readFeedback(std::vector<input_event> &events) {
    return m_reader.read(m_feedbackRead, events);
}
