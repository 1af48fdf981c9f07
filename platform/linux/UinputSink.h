#pragma once

#include "platform/Result.h"
#include "platform/linux/InputEventReader.h"
#include "platform/linux/KeyboardSink.h"
#include "platform/linux/broker/UniqueFd.h"

#include <memory>

// The virtual keyboard on /dev/uinput, made by the keyboard broker (LinuxBrokerDevices), which
// declares every keyboard key, the keypad keys and NumLock among them, the LEDs, and the buttons
// and axes of a mouse, for keyboards that carry a pointer. The device lasts as long as the
// broker's own handle on it.
class UinputSink final : public KeyboardSink {
public:
    static const QString DeviceName;

    // Takes over a descriptor of /dev/uinput on which the virtual keyboard was made.
    static std::unique_ptr<UinputSink> adopt(UniqueFd fd);
    // Why the virtual keyboard could not be made, from the errno of its making.
    static Failure creationFailure(int error);
    ~UinputSink() override = default;

    int feedbackFd() const override { return m_fd.get(); }
    bool writeEvents(std::span<const input_event> events) override;
    ReadStatus readFeedback(std::vector<input_event> &events) override;
    // The device node the system made for it (/dev/input/eventN); null when unknown.
    QString devnode() const;

private:
    explicit UinputSink(UniqueFd fd) : m_fd(std::move(fd)) {}

    UniqueFd m_fd;
    InputEventReader m_reader;
};
