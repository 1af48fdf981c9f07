#include "tests/vm/FakeKeyboard.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <linux/uhid.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// A boot keyboard (modifier bits, a reserved byte, six keys, five LEDs), laid out as USB HID's
// boot protocol has it; with a pointer, a button byte and X, Y and wheel follow in a
// physical collection, in the same report, so the kernel makes one device of it.
const std::vector<uint8_t> KeyboardDescriptor = {
    0x05, 0x01, 0x09, 0x06, 0xa1, 0x01,              // Generic Desktop, Keyboard, Application
    0x05, 0x07, 0x19, 0xe0, 0x29, 0xe7, 0x15, 0x00,  // Keys: the eight modifiers
    0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,  //   as bits
    0x95, 0x01, 0x75, 0x08, 0x81, 0x01,              // reserved byte
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x95, 0x05,  // LEDs 1 to 5
    0x75, 0x01, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03,  //   as output bits,
    0x91, 0x01,                                      //   padded
    0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x15, 0x00,  // Keys 0 to 101
    0x25, 0x65, 0x75, 0x08, 0x95, 0x06, 0x81, 0x00,  //   as an array of six
};
const std::vector<uint8_t> PointerDescriptor = {
    0x05, 0x01, 0x09, 0x01, 0xa1, 0x00,              // Generic Desktop, Pointer, Physical
    0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00,  // Buttons 1 to 3
    0x25, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02,  //   as bits,
    0x75, 0x05, 0x95, 0x01, 0x81, 0x01,              //   padded
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38,  // X, Y, Wheel
    0x15, 0x81, 0x25, 0x7f, 0x75, 0x08, 0x95, 0x03,  //   -127 to 127
    0x81, 0x06, 0xc0,                                //   relative
};
constexpr uint8_t EndCollection = 0xc0;

// Keyboard usages (USB HID usage tables) of the keys tests type: letters, digits, the keys
// between them, the US punctuation and the keypad.
constexpr std::pair<uint8_t, uint16_t> Usages[] = {
    {0x04, KEY_A},          {0x05, KEY_B},         {0x06, KEY_C},         {0x07, KEY_D},
    {0x08, KEY_E},          {0x09, KEY_F},         {0x0a, KEY_G},         {0x0b, KEY_H},
    {0x0c, KEY_I},          {0x0d, KEY_J},         {0x0e, KEY_K},         {0x0f, KEY_L},
    {0x10, KEY_M},          {0x11, KEY_N},         {0x12, KEY_O},         {0x13, KEY_P},
    {0x14, KEY_Q},          {0x15, KEY_R},         {0x16, KEY_S},         {0x17, KEY_T},
    {0x18, KEY_U},          {0x19, KEY_V},         {0x1a, KEY_W},         {0x1b, KEY_X},
    {0x1c, KEY_Y},          {0x1d, KEY_Z},         {0x1e, KEY_1},         {0x1f, KEY_2},
    {0x20, KEY_3},          {0x21, KEY_4},         {0x22, KEY_5},         {0x23, KEY_6},
    {0x24, KEY_7},          {0x25, KEY_8},         {0x26, KEY_9},         {0x27, KEY_0},
    {0x28, KEY_ENTER},      {0x29, KEY_ESC},       {0x2a, KEY_BACKSPACE}, {0x2b, KEY_TAB},
    {0x2c, KEY_SPACE},      {0x2d, KEY_MINUS},     {0x2e, KEY_EQUAL},     {0x2f, KEY_LEFTBRACE},
    {0x30, KEY_RIGHTBRACE}, {0x31, KEY_BACKSLASH}, {0x33, KEY_SEMICOLON}, {0x34, KEY_APOSTROPHE},
    {0x35, KEY_GRAVE},      {0x36, KEY_COMMA},     {0x37, KEY_DOT},       {0x38, KEY_SLASH},
    {0x39, KEY_CAPSLOCK},   {0x53, KEY_NUMLOCK},   {0x54, KEY_KPSLASH},   {0x55, KEY_KPASTERISK},
    {0x56, KEY_KPMINUS},    {0x57, KEY_KPPLUS},    {0x58, KEY_KPENTER},   {0x59, KEY_KP1},
    {0x5a, KEY_KP2},        {0x5b, KEY_KP3},       {0x5c, KEY_KP4},       {0x5d, KEY_KP5},
    {0x5e, KEY_KP6},        {0x5f, KEY_KP7},       {0x60, KEY_KP8},       {0x61, KEY_KP9},
    {0x62, KEY_KP0},        {0x63, KEY_KPDOT},
};
constexpr uint16_t Modifiers[] = {KEY_LEFTCTRL,  KEY_LEFTSHIFT,  KEY_LEFTALT,  KEY_LEFTMETA,
                                  KEY_RIGHTCTRL, KEY_RIGHTSHIFT, KEY_RIGHTALT, KEY_RIGHTMETA};
constexpr uint16_t Buttons[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE};

template <size_t N>
int indexOf(const uint16_t (&codes)[N], uint16_t code) {
    const auto it = std::find(codes, codes + N, code);
    return it == codes + N ? -1 : int(it - codes);
}

bool writeEvent(int fd, const uhid_event &event) {
    return ::write(fd, &event, sizeof event) == ssize_t(sizeof event);
}

QString nodeWithUniq(const QByteArray &uniq) {
    const QDir input(QStringLiteral("/dev/input"));
    for (const QString &entry : input.entryList({QStringLiteral("event*")}, QDir::System)) {
        const int fd =
            ::open(input.filePath(entry).toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        char buffer[64] = {};
        const bool known = fd >= 0 && ioctl(fd, EVIOCGUNIQ(sizeof buffer - 1), buffer) >= 0;
        if (fd >= 0) ::close(fd);
        if (known && uniq == buffer) return input.filePath(entry);
    }
    return {};
}

}  // namespace

FakeKeyboard::FakeKeyboard(const Options &options)
    : m_fd(::open("/dev/uhid", O_RDWR | O_NONBLOCK | O_CLOEXEC)), m_pointer(options.pointer) {
    static std::atomic<int> made = 0;
    std::vector<uint8_t> descriptor = KeyboardDescriptor;
    if (m_pointer)
        descriptor.insert(descriptor.end(), PointerDescriptor.begin(), PointerDescriptor.end());
    descriptor.push_back(EndCollection);
    uhid_event create{};
    create.type = UHID_CREATE2;
    const QByteArray name = options.name.toUtf8();
    const QByteArray uniq =
        "velmora-" + QByteArray::number(getpid()) + "-" + QByteArray::number(made++);
    std::strncpy(reinterpret_cast<char *>(create.u.create2.name), name.constData(),
                 sizeof create.u.create2.name - 1);
    std::strncpy(reinterpret_cast<char *>(create.u.create2.uniq), uniq.constData(),
                 sizeof create.u.create2.uniq - 1);
    create.u.create2.rd_size = uint16_t(descriptor.size());
    create.u.create2.bus = BUS_USB;
    create.u.create2.vendor = 0x1d6b;
    create.u.create2.product = 0x0104;
    std::memcpy(create.u.create2.rd_data, descriptor.data(), descriptor.size());
    if (m_fd < 0 || !writeEvent(m_fd, create)) return;
    // The kernel makes the device on a worker of its own.
    QElapsedTimer waited;
    waited.start();
    while ((m_devnode = nodeWithUniq(uniq)).isEmpty() && waited.elapsed() < 10000) {
        serveKernel();
        QThread::msleep(5);
    }
}

FakeKeyboard::~FakeKeyboard() { unplug(); }

bool FakeKeyboard::send(uint16_t type, uint16_t code, int32_t value) {
    serveKernel();
    if (type == EV_REL)
        return sendReport(code == REL_X ? int8_t(value) : 0, code == REL_Y ? int8_t(value) : 0,
                          code == REL_WHEEL ? int8_t(value) : 0);
    if (type != EV_KEY) return false;
    if (const int modifier = indexOf(Modifiers, code); modifier >= 0) {
        m_modifiers =
            uint8_t(value ? m_modifiers | 1u << modifier : m_modifiers & ~(1u << modifier));
    } else if (const int button = indexOf(Buttons, code); button >= 0) {
        m_buttons = uint8_t(value ? m_buttons | 1u << button : m_buttons & ~(1u << button));
    } else {
        const auto usage = std::find_if(std::begin(Usages), std::end(Usages),
                                        [code](const auto &row) { return row.second == code; });
        if (usage == std::end(Usages)) return false;
        if (value)
            m_keys.insert(usage->first);
        else
            m_keys.erase(usage->first);
    }
    return sendReport();
}

bool FakeKeyboard::sendReport(int8_t x, int8_t y, int8_t wheel) {
    uhid_event input{};
    input.type = UHID_INPUT2;
    uint8_t *report = input.u.input2.data;
    report[0] = m_modifiers;
    size_t slot = 2;
    for (uint8_t key : m_keys)
        if (slot < 8) report[slot++] = key;
    input.u.input2.size = 8;
    if (m_pointer) {
        const uint8_t pointer[] = {m_buttons, uint8_t(x), uint8_t(y), uint8_t(wheel)};
        std::memcpy(report + 8, pointer, sizeof pointer);
        input.u.input2.size += sizeof pointer;
    }
    return m_fd >= 0 && writeEvent(m_fd, input);
}

bool FakeKeyboard::tap(uint16_t code) { return press(code) && release(code); }

bool FakeKeyboard::ledOn(uint16_t led) {
    serveKernel();
    const int fd = ::open(m_devnode.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    unsigned char bits[(LED_CNT + 7) / 8] = {};
    const bool known = fd >= 0 && ioctl(fd, EVIOCGLED(sizeof(bits)), bits) >= 0;
    if (fd >= 0) ::close(fd);
    return known && (bits[led / 8] & (1u << (led % 8)));
}

void FakeKeyboard::serveKernel() {
    uhid_event event;
    while (m_fd >= 0 && ::read(m_fd, &event, sizeof event) > 0) {
        uhid_event reply{};
        if (event.type == UHID_GET_REPORT) {
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply = {event.u.get_report.id, EIO, 0, {}};
        } else if (event.type == UHID_SET_REPORT) {
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply = {event.u.set_report.id, 0};
        } else {
            continue;
        }
        writeEvent(m_fd, reply);
    }
}

void FakeKeyboard::unplug() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_devnode.clear();
}
