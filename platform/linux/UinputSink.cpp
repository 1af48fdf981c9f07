#include "platform/linux/UinputSink.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <fcntl.h>
#include <unistd.h>
#include <QObject>

#include <cerrno>
#include <cstring>

const QString UinputSink::DeviceName = QStringLiteral("Velmora virtual keyboard");

namespace {

Failure problem(int error) {
    if (error == EACCES || error == EPERM)
        return {QObject::tr("No permission to use /dev/uinput: Velmora must run as root to "
                            "remap keys."),
                error};
    if (error == ENOENT || error == ENODEV || error == ENXIO)
        return {QObject::tr("There is no /dev/uinput, so keys cannot be re-emitted: the uinput "
                            "kernel module is not loaded."),
                error};
    return {QObject::tr("Cannot create the virtual keyboard on /dev/uinput: %1")
                .arg(QString::fromLocal8Bit(strerror(error))),
            error};
}

void enableKeys(libevdev *device, unsigned first, unsigned last) {
    for (unsigned code = first; code <= last; ++code)
        libevdev_enable_event_code(device, EV_KEY, code, nullptr);
}

// No EV_REP: the kernel would add repeats of its own to the ones we forward.
libevdev *describeKeyboard() {
    libevdev *device = libevdev_new();
    const QByteArray name = UinputSink::DeviceName.toUtf8();
    libevdev_set_name(device, name.constData());
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

}  // namespace

Result<std::unique_ptr<UinputSink>> UinputSink::create() {
    const int fd = ::open("/dev/uinput", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return problem(errno);
    libevdev *description = describeKeyboard();
    libevdev_uinput *device = nullptr;
    const int result = libevdev_uinput_create_from_device(description, fd, &device);
    libevdev_free(description);
    if (result < 0) {
        ::close(fd);
        return problem(-result);
    }
    return std::unique_ptr<UinputSink>(new UinputSink(fd, device));
}

UinputSink::UinputSink(int fd, libevdev_uinput *device) : m_fd(fd), m_device(device) {}

UinputSink::~UinputSink() {
    libevdev_uinput_destroy(m_device);
    ::close(m_fd);
}

bool UinputSink::writeEvents(std::span<const input_event> events) {
    const size_t bytes = events.size_bytes();
    ssize_t written;
    do {
        written = ::write(m_fd, events.data(), bytes);
    } while (written < 0 && errno == EINTR);
    return written == ssize_t(bytes);
}

QString UinputSink::devnode() const {
    const char *node = libevdev_uinput_get_devnode(m_device);
    return node ? QString::fromLocal8Bit(node) : QString();
}

ReadStatus UinputSink::readFeedback(std::vector<input_event> &events) {
    return m_reader.read(m_fd, events);
}
