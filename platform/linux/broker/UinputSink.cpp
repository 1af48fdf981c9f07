#include "platform/linux/broker/UinputSink.h"

#include <libevdev/libevdev-uinput.h>

#include <unistd.h>
#include <cerrno>

std::unique_ptr<UinputSink> UinputSink::create(const libevdev *description, int fd,
                                               int &errorNumber) {
    libevdev_uinput *device = nullptr;
    const int result = libevdev_uinput_create_from_device(description, fd, &device);
    errorNumber = result < 0 ? -result : 0;
    return result < 0 ? nullptr : std::unique_ptr<UinputSink>(new UinputSink(device));
}

UinputSink::~UinputSink() { libevdev_uinput_destroy(m_device); }

int UinputSink::feedbackFd() const { return libevdev_uinput_get_fd(m_device); }

bool UinputSink::writeEvents(std::span<const input_event> events) {
    const size_t bytes = events.size_bytes();
    ssize_t written;
    do {
        written = ::write(feedbackFd(), events.data(), bytes);
    } while (written < 0 && errno == EINTR);
    return written == ssize_t(bytes);
}

ReadStatus UinputSink::readFeedback(std::vector<input_event> &events) {
    return m_reader.read(feedbackFd(), events);
}

std::string UinputSink::syspath() const {
    const char *path = libevdev_uinput_get_syspath(m_device);
    return path ? path : "";
}
