#pragma once

#include "platform/linux/InputEventReader.h"
#include "platform/linux/KeyboardSource.h"

#include <memory>

struct libevdev;

// A keyboard under /dev/input, opened read-write (LEDs are written back to it).
class LibevdevKeyboardSource final : public KeyboardSource {
public:
    // nullptr when the device is not a keyboard, is our own virtual keyboard, or cannot be
    // opened; *error then holds the errno of a failed open, or 0.
    static std::unique_ptr<LibevdevKeyboardSource> open(const QString &path, int *error);
    ~LibevdevKeyboardSource() override;

    int fd() const override { return m_fd; }
    QString name() const override;
    bool grab() override;
    void ungrab() override;
    ReadStatus readEvents(std::vector<input_event> &events) override;
    KeyBits keysDown() const override;
    bool ledOn(uint16_t led) const override;
    void setLed(uint16_t led, bool on) override;

private:
    LibevdevKeyboardSource(int fd, libevdev *device);
    static bool isKeyboard(const libevdev *device);

    int m_fd;
    libevdev *m_device;
    InputEventReader m_reader;
};
