#pragma once

#include "platform/linux/broker/BrokerDevices.h"

#include <optional>

struct libevdev_uinput;
struct udev;
struct udev_monitor;

// This machine's keyboards under /dev/input, /dev/uinput for the virtual keyboard, and
// udev for keyboards plugged in later. The virtual keyboard lasts as long as this object.
class LinuxBrokerDevices final : public BrokerDevices {
public:
    static const char VirtualKeyboardName[];

    LinuxBrokerDevices() = default;
    ~LinuxBrokerDevices() override;
    LinuxBrokerDevices(const LinuxBrokerDevices &) = delete;
    LinuxBrokerDevices &operator=(const LinuxBrokerDevices &) = delete;

    Created createVirtualKeyboard() override;
    int startWatching() override;
    Scan scanKeyboards() override;
    std::vector<Opened> takeAdded() override;
    void ungrab(int fd) override;
    bool present(int fd) override;

    // A keyboard at path, opened read-write, or the errno (0: not a keyboard, or ours).
    struct Attempt {
        std::optional<Opened> keyboard;
        int errorNumber = 0;
    };
    static Attempt openKeyboard(const std::string &path);

private:
    libevdev_uinput *m_uinput = nullptr;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
};
