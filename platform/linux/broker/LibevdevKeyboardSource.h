#pragma once

#include "platform/linux/broker/InputEventReader.h"
#include "platform/linux/broker/KeyboardSource.h"
#include "platform/linux/broker/UniqueFd.h"

struct libevdev;

// A keyboard under /dev/input, opened read-write by the broker once it knew it for a real
// keyboard (LinuxBrokerDevices); LEDs are written back to it.
class LibevdevKeyboardSource final : public KeyboardSource {
public:
    // Takes over the descriptor and the libevdev handle made on it.
    LibevdevKeyboardSource(UniqueFd fd, libevdev *device, uint64_t identity);
    ~LibevdevKeyboardSource() override;
    LibevdevKeyboardSource(const LibevdevKeyboardSource &) = delete;
    LibevdevKeyboardSource &operator=(const LibevdevKeyboardSource &) = delete;

    // Has a mouse's buttons and axes besides its keys.
    static bool describesPointer(const libevdev *device);

    int fd() const override { return m_fd.get(); }
    std::string name() const override;
    uint64_t identity() const override { return m_identity; }
    bool hasPointer() const override { return m_hasPointer; }
    bool isPresent() const override;
    bool grab() override;
    void ungrab() override;
    ReadStatus readEvents(std::vector<input_event> &events) override;
    KeyBits keysDown() const override;
    bool ledOn(uint16_t led) const override;
    void setLed(uint16_t led, bool on) override;

private:
    UniqueFd m_fd;
    libevdev *m_device;
    uint64_t m_identity;
    bool m_hasPointer;
    InputEventReader m_reader;
};
