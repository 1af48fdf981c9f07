#include "platform/linux/broker/LinuxBrokerDevices.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <libudev.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

const char LinuxBrokerDevices::VirtualKeyboardName[] = "Velmora virtual keyboard";

namespace {

constexpr char InputDirectory[] = "/dev/input";
constexpr char EventPrefix[] = "/dev/input/event";

void enableKeys(libevdev *device, unsigned first, unsigned last) {
    for (unsigned code = first; code <= last; ++code)
        libevdev_enable_event_code(device, EV_KEY, code, nullptr);
}

// Every keyboard key, the keypad and NumLock among them, the LEDs, and a mouse's buttons and
// axes. No EV_REP: the kernel would add repeats of its own to the ones the tap forwards.
libevdev *describeVirtualKeyboard() {
    libevdev *device = libevdev_new();
    libevdev_set_name(device, LinuxBrokerDevices::VirtualKeyboardName);
    libevdev_set_id_bustype(device, BUS_VIRTUAL);
    // Keyboard keys, and no joystick or tablet buttons, which would make the system take
    // the device for one of those.
    enableKeys(device, KEY_ESC, BTN_MISC - 1);
    enableKeys(device, KEY_OK, BTN_DPAD_UP - 1);
    enableKeys(device, KEY_ALS_TOGGLE, BTN_TRIGGER_HAPPY - 1);
    // A keyboard with a pointing stick or mouse in the same device node (wireless
    // combos, some laptops) moves and clicks through us while grabbed; undeclared events
    // would be dropped by the kernel.
    enableKeys(device, BTN_LEFT, BTN_TASK);
    for (unsigned axis : {REL_X, REL_Y, REL_HWHEEL, REL_WHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES})
        libevdev_enable_event_code(device, EV_REL, axis, nullptr);
    for (unsigned led : {LED_NUML, LED_CAPSL, LED_SCROLLL, LED_COMPOSE, LED_KANA})
        libevdev_enable_event_code(device, EV_LED, led, nullptr);
    libevdev_enable_event_code(device, EV_MSC, MSC_SCAN, nullptr);
    return device;
}

bool isKeyboard(const libevdev *device) {
    if (std::strcmp(libevdev_get_name(device), LinuxBrokerDevices::VirtualKeyboardName) == 0)
        return false;
    if (!libevdev_has_event_code(device, EV_KEY, KEY_ENTER)) return false;
    for (unsigned code : {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O,
                          KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K,
                          KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M})
        if (!libevdev_has_event_code(device, EV_KEY, code)) return false;
    return true;
}

bool isEventNode(const char *path) {
    return path && std::strncmp(path, EventPrefix, sizeof EventPrefix - 1) == 0;
}

}  // namespace

LinuxBrokerDevices::~LinuxBrokerDevices() {
    if (m_uinput) libevdev_uinput_destroy(m_uinput);
    udev_monitor_unref(m_monitor);
    udev_unref(m_udev);
}

BrokerDevices::Created LinuxBrokerDevices::createVirtualKeyboard() {
    UniqueFd fd(::open("/dev/uinput", O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return {UniqueFd(), errno};
    libevdev *description = describeVirtualKeyboard();
    const int result = libevdev_uinput_create_from_device(description, fd.get(), &m_uinput);
    libevdev_free(description);
    if (result < 0) return {UniqueFd(), -result};
    return {std::move(fd), 0};
}

int LinuxBrokerDevices::startWatching() {
    m_udev = udev_new();
    if (!m_udev) return -1;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "input", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return -1;
    }
    return udev_monitor_get_fd(m_monitor);
}

BrokerDevices::Scan LinuxBrokerDevices::scanKeyboards() {
    Scan scan;
    DIR *directory = opendir(InputDirectory);
    if (!directory) return scan;
    std::vector<std::string> paths;
    while (const dirent *entry = readdir(directory))
        if (std::strncmp(entry->d_name, "event", 5) == 0)
            paths.push_back(std::string(InputDirectory) + "/" + entry->d_name);
    closedir(directory);
    std::sort(paths.begin(), paths.end());
    for (const std::string &path : paths) {
        Attempt attempt = openKeyboard(path);
        if (attempt.keyboard)
            scan.keyboards.push_back(std::move(*attempt.keyboard));
        else
            scan.denied =
                scan.denied || attempt.errorNumber == EACCES || attempt.errorNumber == EPERM;
    }
    return scan;
}

std::vector<BrokerDevices::Opened> LinuxBrokerDevices::takeAdded() {
    std::vector<Opened> added;
    while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
        const char *action = udev_device_get_action(device);
        const char *node = udev_device_get_devnode(device);
        if (action && std::strcmp(action, "add") == 0 && isEventNode(node)) {
            Attempt attempt = openKeyboard(node);
            if (attempt.keyboard) added.push_back(std::move(*attempt.keyboard));
        }
        udev_device_unref(device);
    }
    return added;
}

void LinuxBrokerDevices::ungrab(int fd) { ioctl(fd, EVIOCGRAB, 0); }

bool LinuxBrokerDevices::present(int fd) {
    // Every evdev request on a handle whose device has gone fails with ENODEV.
    int version;
    return ioctl(fd, EVIOCGVERSION, &version) == 0 || errno != ENODEV;
}

LinuxBrokerDevices::Attempt LinuxBrokerDevices::openKeyboard(const std::string &path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return {std::nullopt, errno};
    libevdev *device = nullptr;
    const bool keyboard = libevdev_new_from_fd(fd.get(), &device) == 0 && isKeyboard(device);
    libevdev_free(device);
    struct stat status {};
    if (!keyboard || fstat(fd.get(), &status) != 0) return {std::nullopt, 0};
    return {Opened{std::move(fd), path, uint64_t(status.st_rdev)}, 0};
}
