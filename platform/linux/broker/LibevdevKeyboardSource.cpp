#include "platform/linux/broker/LibevdevKeyboardSource.h"

#include <libevdev/libevdev.h>

#include <sys/ioctl.h>

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

LibevdevKeyboardSource::LibevdevKeyboardSource(UniqueFd fd, libevdev *device, uint64_t identity)
    : m_fd(std::move(fd)), m_device(device), m_identity(identity),
      m_hasPointer(describesPointer(device)) {}

LibevdevKeyboardSource::~LibevdevKeyboardSource() { libevdev_free(m_device); }

bool LibevdevKeyboardSource::describesPointer(const libevdev *device) {
    return libevdev_has_event_code(device, EV_KEY, BTN_LEFT) &&
           libevdev_has_event_code(device, EV_REL, REL_X) &&
           libevdev_has_event_code(device, EV_REL, REL_Y);
}

std::string LibevdevKeyboardSource::name() const { return libevdev_get_name(m_device); }

bool LibevdevKeyboardSource::isPresent() const {
    // The kernel fails every request on the handle of a device that went away.
    int version = 0;
    return ioctl(m_fd.get(), EVIOCGVERSION, &version) == 0;
}

// Asked of the kernel each time, not through libevdev, which remembers its own last word.
bool LibevdevKeyboardSource::grab() { return ioctl(m_fd.get(), EVIOCGRAB, 1) == 0; }

void LibevdevKeyboardSource::ungrab() { ioctl(m_fd.get(), EVIOCGRAB, 0); }

ReadStatus LibevdevKeyboardSource::readEvents(std::vector<input_event> &events) {
    return m_reader.read(m_fd.get(), events);
}

KeyBits LibevdevKeyboardSource::keysDown() const {
    // Asked of the kernel, not of libevdev's copy, which we do not keep current.
    return queryBits<KEY_CNT>(m_fd.get(), EVIOCGKEY(bytesFor(KEY_CNT)));
}

bool LibevdevKeyboardSource::ledOn(uint16_t led) const {
    return led < LED_CNT && queryBits<LED_CNT>(m_fd.get(), EVIOCGLED(bytesFor(LED_CNT))).test(led);
}

void LibevdevKeyboardSource::setLed(uint16_t led, bool on) {
    libevdev_kernel_set_led_value(m_device, led, on ? LIBEVDEV_LED_ON : LIBEVDEV_LED_OFF);
}
