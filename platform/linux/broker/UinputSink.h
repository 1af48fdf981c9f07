#pragma once

#include "platform/linux/broker/InputEventReader.h"
#include "platform/linux/broker/KeyboardSink.h"

#include <memory>
#include <string>

struct libevdev;
struct libevdev_uinput;

// A virtual device on /dev/uinput, the broker's keyboard or pointer. The device lasts as long
// as the sink; the descriptor it was made on stays its opener's, who keeps it open as long.
class UinputSink final : public KeyboardSink {
public:
    // The device `description` declares, made on `fd`; null, with the errno in `errorNumber`,
    // when it cannot be made.
    static std::unique_ptr<UinputSink> create(const libevdev *description, int fd,
                                              int &errorNumber);
    ~UinputSink() override;
    UinputSink(const UinputSink &) = delete;
    UinputSink &operator=(const UinputSink &) = delete;

    int feedbackFd() const override;
    bool writeEvents(std::span<const input_event> events) override;
    ReadStatus readFeedback(std::vector<input_event> &events) override;
    // Where the kernel lists the device (/sys/devices/virtual/input/inputN).
    std::string syspath() const;

private:
    explicit UinputSink(libevdev_uinput *device) : m_device(device) {}

    libevdev_uinput *m_device;
    InputEventReader m_reader;
};
