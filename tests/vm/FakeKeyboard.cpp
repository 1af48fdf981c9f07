#include "tests/vm/FakeKeyboard.h"

#include "platform/linux/InputEvent.h"
#include "tests/vm/EventNodeReader.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <fcntl.h>
#include <unistd.h>

FakeKeyboard::FakeKeyboard(const Options &options) {
    libevdev *description = libevdev_new();
    const QByteArray name = options.name.toUtf8();
    libevdev_set_name(description, name.constData());
    libevdev_set_id_bustype(description, BUS_USB);
    for (unsigned code = KEY_ESC; code <= KEY_MICMUTE; ++code)
        libevdev_enable_event_code(description, EV_KEY, code, nullptr);
    for (unsigned led : {LED_NUML, LED_CAPSL, LED_SCROLLL})
        libevdev_enable_event_code(description, EV_LED, led, nullptr);
    libevdev_enable_event_code(description, EV_MSC, MSC_SCAN, nullptr);
    if (options.autorepeat) libevdev_enable_event_type(description, EV_REP);
    if (options.pointer) {
        for (unsigned code : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})
            libevdev_enable_event_code(description, EV_KEY, code, nullptr);
        for (unsigned axis : {REL_X, REL_Y, REL_WHEEL})
            libevdev_enable_event_code(description, EV_REL, axis, nullptr);
    }
    m_fd = ::open("/dev/uinput", O_RDWR | O_CLOEXEC);
    if (m_fd >= 0 && libevdev_uinput_create_from_device(description, m_fd, &m_device) < 0)
        m_device = nullptr;
    libevdev_free(description);
}

FakeKeyboard::~FakeKeyboard() { unplug(); }

QString FakeKeyboard::devnode() const {
    const char *node = m_device ? libevdev_uinput_get_devnode(m_device) : nullptr;
    return node ? QString::fromLocal8Bit(node) : QString();
}

bool FakeKeyboard::write(std::span<const input_event> events) {
    return m_device &&
           ::write(m_fd, events.data(), events.size_bytes()) == ssize_t(events.size_bytes());
}

bool FakeKeyboard::send(uint16_t type, uint16_t code, int32_t value) {
    const input_event frame[] = {makeInputEvent(type, code, value),
                                 makeInputEvent(EV_SYN, SYN_REPORT, 0)};
    return write(frame);
}

bool FakeKeyboard::tap(uint16_t code) { return press(code) && release(code); }

bool FakeKeyboard::ledOn(uint16_t led) const { return EventNodeReader::ledOn(devnode(), led); }

void FakeKeyboard::unplug() {
    if (m_device) libevdev_uinput_destroy(m_device);
    m_device = nullptr;
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}
