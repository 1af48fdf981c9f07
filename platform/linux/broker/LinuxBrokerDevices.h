#pragma once

#include "platform/linux/broker/BrokerDevices.h"
#include "platform/linux/broker/UniqueFd.h"

#include <sys/types.h>
#include <string>

struct udev;
struct udev_monitor;

// This machine's keyboards under /dev/input, /dev/uinput for the virtual keyboard and pointer,
// and udev for keyboards plugged in later. Only real keyboards are taken: never a device made
// through uinput, ours or another process's.
class LinuxBrokerDevices final : public BrokerDevices {
public:
    static const char VirtualKeyboardName[];
    static const char VirtualPointerName[];

    LinuxBrokerDevices();
    ~LinuxBrokerDevices() override;
    LinuxBrokerDevices(const LinuxBrokerDevices &) = delete;
    LinuxBrokerDevices &operator=(const LinuxBrokerDevices &) = delete;

    // Opens /dev/uinput twice: for the keyboard now, and for a pointer later, which is then
    // made without opening anything.
    Created createVirtualKeyboard() override;
    std::unique_ptr<KeyboardSink> createVirtualPointer() override;
    int startWatching() override;
    Scan scanKeyboards() override;
    std::vector<std::unique_ptr<KeyboardSource>> takeAdded() override;

    // A real keyboard at path, opened read-write, or the errno (0: not a keyboard, or made
    // through uinput).
    struct Attempt {
        std::unique_ptr<KeyboardSource> keyboard;
        int errorNumber = 0;
    };
    Attempt openKeyboard(const std::string &path) const;

private:
    bool madeThroughUinput(dev_t device) const;

    UniqueFd m_keyboardUinput;
    UniqueFd m_pointerUinput;
    std::string m_ownSyspath;
    udev *m_udev;
    udev_monitor *m_monitor = nullptr;
};
