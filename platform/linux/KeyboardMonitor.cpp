#include "platform/linux/KeyboardMonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

std::unique_ptr<KeyboardMonitor> KeyboardMonitor::create() {
    udev *context = udev_new();
    if (!context) return nullptr;
    udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "input", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::unique_ptr<KeyboardMonitor>(new KeyboardMonitor(context, monitor));
}

KeyboardMonitor::KeyboardMonitor(udev *context, udev_monitor *monitor)
    : m_udev(context), m_monitor(monitor),
      m_notifier(
          std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor), QSocketNotifier::Read)) {
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &KeyboardMonitor::receive);
}

KeyboardMonitor::~KeyboardMonitor() {
    m_notifier.reset();
    udev_monitor_unref(m_monitor);
    udev_unref(m_udev);
}

void KeyboardMonitor::receive() {
    udev_device *device = udev_monitor_receive_device(m_monitor);
    if (!device) return;
    const char *action = udev_device_get_action(device);
    const char *devnode = udev_device_get_devnode(device);
    if (action && devnode && std::strcmp(action, "add") == 0 &&
        std::strncmp(devnode, "/dev/input/event", 16) == 0)
        emit deviceAdded(QString::fromLocal8Bit(devnode));
    udev_device_unref(device);
}
