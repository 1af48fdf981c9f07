#pragma once

#include "platform/Result.h"
#include "platform/linux/InputEventReader.h"
#include "platform/linux/KeyboardSink.h"

#include <memory>

struct libevdev_uinput;

// The virtual keyboard on /dev/uinput. It declares every keyboard key, the keypad keys
// and NumLock among them, whether or not a physical keyboard has them, the LEDs, and
// the buttons and axes of a mouse, for keyboards that carry a pointer.
class UinputSink final : public KeyboardSink {
public:
    static const QString DeviceName;

    // Fails, saying why, when /dev/uinput cannot be used.
    static Result<std::unique_ptr<UinputSink>> create();
    ~UinputSink() override;

    int feedbackFd() const override { return m_fd; }
    bool writeEvents(std::span<const input_event> events) override;
    ReadStatus readFeedback(std::vector<input_event> &events) override;
    // The device node the system made for it (/dev/input/eventN); null when unknown.
    QString devnode() const;

private:
    UinputSink(int fd, libevdev_uinput *device);

    int m_fd;
    libevdev_uinput *m_device;
    InputEventReader m_reader;
};
