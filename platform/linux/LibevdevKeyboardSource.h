#pragma once

#include "platform/Result.h"
#include "platform/linux/InputEventReader.h"
#include "platform/linux/KeyboardSource.h"

#include <memory>

struct libevdev;

// A keyboard under /dev/input, opened read-write (LEDs are written back to it).
class LibevdevKeyboardSource final : public KeyboardSource {
public:
    // Fails when the device cannot be opened (with the errno), is not a keyboard, or is our
    // own virtual keyboard (errno 0).
    static Result<std::unique_ptr<LibevdevKeyboardSource>> open(const QString &path);
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
    static bool isKeyboard(const libevdev *device);

    int m_fd;
    libevdev *m_device;
    InputEventReader m_reader;
};
