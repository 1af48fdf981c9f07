#include "platform/linux/broker/LinuxBrokerDevices.h"

#include "platform/linux/broker/LibevdevKeyboardSource.h"
#include "platform/linux/broker/UinputSink.h"

#include <libevdev/libevdev.h>
#include <libudev.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

const char LinuxBrokerDevices::VirtualKeyboardName[] = "Velmora virtual keyboard";
const char LinuxBrokerDevices::VirtualPointerName[] = "Velmora virtual pointer";

namespace {

constexpr char InputDirectory[] = "/dev/input";
constexpr char EventPrefix[] = "/dev/input/event";
// Where the kernel lists every device made through uinput, whatever bus it claims.
constexpr char UinputDevices[] = "/sys/devices/virtual/input/";

using Description = std::unique_ptr<libevdev, decltype(&libevdev_free)>;

Description describe(const char *name) {
    Description device(libevdev_new(), &libevdev_free);
    libevdev_set_name(device.get(), name);
    libevdev_set_id_bustype(device.get(), BUS_VIRTUAL);
    return device;
}

void enableKeys(libevdev *device, unsigned first, unsigned last) {
    for (unsigned code = first; code <= last; ++code)
        libevdev_enable_event_code(device, EV_KEY, code, nullptr);
}

// Every keyboard key, the keypad and NumLock among them, and the LEDs; no mouse buttons or
// axes, so that nobody takes it for a mouse, and no joystick or tablet buttons either. No
// EV_REP: the kernel would add repeats of its own to the ones the tap forwards.
Description describeKeyboard() {
    Description device = describe(LinuxBrokerDevices::VirtualKeyboardName);
    enableKeys(device.get(), KEY_ESC, BTN_MISC - 1);
    enableKeys(device.get(), KEY_OK, BTN_DPAD_UP - 1);
    enableKeys(device.get(), KEY_ALS_TOGGLE, BTN_TRIGGER_HAPPY - 1);
    for (unsigned led : {LED_NUML, LED_CAPSL, LED_SCROLLL, LED_COMPOSE, LED_KANA})
        libevdev_enable_event_code(device.get(), EV_LED, led, nullptr);
    return device;
}

// A mouse's buttons and axes, for keyboards with a pointer in the same device (wireless
// combos, some laptops), whose pointer moves and clicks through us while grabbed.
Description describePointer() {
    Description device = describe(LinuxBrokerDevices::VirtualPointerName);
    enableKeys(device.get(), BTN_LEFT, BTN_TASK);
    for (unsigned axis : {REL_X, REL_Y, REL_HWHEEL, REL_WHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES})
        libevdev_enable_event_code(device.get(), EV_REL, axis, nullptr);
    return device;
}

bool isKeyboard(const libevdev *device) {
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

UniqueFd openUinput() { return UniqueFd(::open("/dev/uinput", O_RDWR | O_NONBLOCK | O_CLOEXEC)); }

}  // namespace

LinuxBrokerDevices::LinuxBrokerDevices() : m_udev(udev_new()) {}

LinuxBrokerDevices::~LinuxBrokerDevices() {
    udev_monitor_unref(m_monitor);
    udev_unref(m_udev);
}

BrokerDevices::Created LinuxBrokerDevices::createVirtualKeyboard() {
    m_keyboardUinput = openUinput();
    if (!m_keyboardUinput) return {nullptr, errno};
    m_pointerUinput = openUinput();
    int error = 0;
    auto sink = UinputSink::create(describeKeyboard().get(), m_keyboardUinput.get(), error);
    if (sink) m_ownSyspath = sink->syspath();
    return {std::move(sink), error};
}

std::unique_ptr<KeyboardSink> LinuxBrokerDevices::createVirtualPointer() {
    if (!m_pointerUinput) return nullptr;
    int error = 0;
    return UinputSink::create(describePointer().get(), m_pointerUinput.get(), error);
}

int LinuxBrokerDevices::startWatching() {
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
            scan.keyboards.push_back(std::move(attempt.keyboard));
        else
            scan.denied =
                scan.denied || attempt.errorNumber == EACCES || attempt.errorNumber == EPERM;
    }
    return scan;
}

std::vector<std::unique_ptr<KeyboardSource>> LinuxBrokerDevices::takeAdded() {
    std::vector<std::unique_ptr<KeyboardSource>> added;
    while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
        const char *action = udev_device_get_action(device);
        const char *node = udev_device_get_devnode(device);
        if (action && std::strcmp(action, "add") == 0 && isEventNode(node)) {
            Attempt attempt = openKeyboard(node);
            if (attempt.keyboard) added.push_back(std::move(attempt.keyboard));
        }
        udev_device_unref(device);
    }
    return added;
}

LinuxBrokerDevices::Attempt LinuxBrokerDevices::openKeyboard(const std::string &path) const {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return {nullptr, errno};
    // Told apart by what the kernel says of the device opened, not by its node's name.
    struct stat status {};
    if (fstat(fd.get(), &status) != 0 || !S_ISCHR(status.st_mode) ||
        madeThroughUinput(status.st_rdev))
        return {};
    libevdev *device = nullptr;
    if (libevdev_new_from_fd(fd.get(), &device) != 0) return {};
    if (!isKeyboard(device)) {
        libevdev_free(device);
        return {};
    }
    return {std::make_unique<LibevdevKeyboardSource>(std::move(fd), device, status.st_rdev), 0};
}

// A device made through uinput has no parent, so the kernel lists it under UinputDevices,
// whatever name or bus it claims; the bus alone tells nothing (virtio keyboards, which are
// real, say BUS_VIRTUAL too). Keyboards over Bluetooth come through uhid, and are taken.
bool LinuxBrokerDevices::madeThroughUinput(dev_t device) const {
    const std::string link =
        "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char resolved[PATH_MAX];
    // A device the kernel says nothing of is not taken.
    if (!realpath(link.c_str(), resolved)) return true;
    const std::string syspath = resolved;
    return syspath.starts_with(UinputDevices) ||
           (!m_ownSyspath.empty() && syspath.starts_with(m_ownSyspath + "/"));
}
