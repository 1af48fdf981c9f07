#pragma once

#include "platform/Result.h"
#include "platform/linux/InputEventReader.h"
#include "platform/linux/KeyboardSource.h"
#include "platform/linux/broker/UniqueFd.h"

#include <memory>

struct libevdev;

// A keyboard under /dev/input, opened read-write by the keyboard broker (which checked that
// it is a keyboard, and not our own); LEDs are written back to it.
class LibevdevKeyboardSource final : public KeyboardSource {
public:
    // Takes the descriptor over; fails when it is no input device.
    static Result<std::unique_ptr<LibevdevKeyboardSource>> adopt(UniqueFd fd);
    ~LibevdevKeyboardSource() override;

    int fd() const override { return m_fd; }
    QString name() const override;
    bool isPresent() const override;
    bool grab() override;
    void ungrab() override;
    ReadStatus readEvents(std::vector<input_event> &events) override;
    KeyBits keysDown() const override;
    bool ledOn(uint16_t led) const override;
    void setLed(uint16_t led, bool on) override;

private:
    LibevdevKeyboardSource(int fd, libevdev *device);

    int m_fd;
    libevdev *m_device;
    InputEventReader m_reader;
};
