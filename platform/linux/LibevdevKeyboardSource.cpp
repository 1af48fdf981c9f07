#include "platform/linux/LibevdevKeyboardSource.h"

#include <libevdev/libevdev.h>

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

Result<std::unique_ptr<LibevdevKeyboardSource>> LibevdevKeyboardSource::adopt(UniqueFd fd) {
    libevdev *device = nullptr;
    if (const int result = libevdev_new_from_fd(fd.get(), &device); result < 0)
        return Failure{QObject::tr("A keyboard handed over is no input device: %1")
                           .arg(QString::fromLocal8Bit(strerror(-result))),
                       -result};
    return std::unique_ptr<LibevdevKeyboardSource>(
        new LibevdevKeyboardSource(fd.release(), device));
}

LibevdevKeyboardSource::LibevdevKeyboardSource(int fd, libevdev *device)
    : m_fd(fd), m_device(device) {}

LibevdevKeyboardSource::~LibevdevKeyboardSource() {
    libevdev_free(m_device);
    ::close(m_fd);
}

QString LibevdevKeyboardSource::name() const {
    return QString::fromUtf8(libevdev_get_name(m_device));
}

bool LibevdevKeyboardSource::isPresent() const {
    // The kernel fails every request on the handle of a device that went away.
    int version = 0;
    return ioctl(m_fd, EVIOCGVERSION, &version) == 0;
}

// Asked of the kernel each time, not through libevdev, which remembers its own last word: the
// broker shares this open file and lets go of it on its own when Velmora stalls.
bool LibevdevKeyboardSource::grab() { return ioctl(m_fd, EVIOCGRAB, 1) == 0; }

void LibevdevKeyboardSource::ungrab() { ioctl(m_fd, EVIOCGRAB, 0); }

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
