#include "platform/linux/LibevdevKeyboardSource.h"

#include "platform/linux/UinputSink.h"

#include <libevdev/libevdev.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <QObject>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t bytesFor(size_t bits) { return (bits + 7) / 8; }

// `request` must be built with bytesFor(Bits) so the kernel writes no more than that.
template <size_t Bits>
std::bitset<Bits> queryBits(int fd, unsigned long request) {
    unsigned char raw[bytesFor(Bits)] = {};
    std::bitset<Bits> bits;
    if (ioctl(fd, request, raw) < 0) return bits;
    for (size_t i = 0; i < Bits; ++i)
        if (raw[i / 8] & (1u << (i % 8))) bits.set(i);
    return bits;
}

}  // namespace

Result<std::unique_ptr<LibevdevKeyboardSource>> LibevdevKeyboardSource::open(const QString &path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Failure{QObject::tr("Cannot open %1: %2")
                           .arg(path, QString::fromLocal8Bit(strerror(error))),
                       error};
    }
    libevdev *device = nullptr;
    if (libevdev_new_from_fd(fd, &device) < 0 || !isKeyboard(device)) {
        libevdev_free(device);
        ::close(fd);
        return Failure{QObject::tr("%1 is not a keyboard").arg(path)};
    }
    return std::unique_ptr<LibevdevKeyboardSource>(new LibevdevKeyboardSource(fd, device));
}

LibevdevKeyboardSource::LibevdevKeyboardSource(int fd, libevdev *device)
    : m_fd(fd), m_device(device) {}

LibevdevKeyboardSource::~LibevdevKeyboardSource() {
    libevdev_free(m_device);
    ::close(m_fd);
}

bool LibevdevKeyboardSource::isKeyboard(const libevdev *device) {
    if (QString::fromUtf8(libevdev_get_name(device)) == UinputSink::DeviceName) return false;
    if (!libevdev_has_event_code(device, EV_KEY, KEY_ENTER)) return false;
    for (unsigned code : {KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I, KEY_O,
                          KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J, KEY_K,
                          KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M})
        if (!libevdev_has_event_code(device, EV_KEY, code)) return false;
    return true;
}

QString LibevdevKeyboardSource::name() const {
    return QString::fromUtf8(libevdev_get_name(m_device));
}

bool LibevdevKeyboardSource::isPresent() const {
    // The kernel fails every request on the handle of a device that went away.
    int version = 0;
    return ioctl(m_fd, EVIOCGVERSION, &version) == 0;
}

bool LibevdevKeyboardSource::grab() { return libevdev_grab(m_device, LIBEVDEV_GRAB) == 0; }

void LibevdevKeyboardSource::ungrab() { libevdev_grab(m_device, LIBEVDEV_UNGRAB); }

ReadStatus LibevdevKeyboardSource::readEvents(std::vector<input_event> &events) {
    return m_reader.read(m_fd, events);
}

KeyBits LibevdevKeyboardSource::keysDown() const {
    // Asked of the kernel, not of libevdev's copy, which we do not keep current.
    return queryBits<KEY_CNT>(m_fd, EVIOCGKEY(bytesFor(KEY_CNT)));
}

bool LibevdevKeyboardSource::ledOn(uint16_t led) const {
    return led < LED_CNT && queryBits<LED_CNT>(m_fd, EVIOCGLED(bytesFor(LED_CNT))).test(led);
}

void LibevdevKeyboardSource::setLed(uint16_t led, bool on) {
    libevdev_kernel_set_led_value(m_device, led, on ? LIBEVDEV_LED_ON : LIBEVDEV_LED_OFF);
}
