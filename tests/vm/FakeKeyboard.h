#pragma once

#include <QString>

#include <linux/input.h>

#include <cstdint>
#include <span>

struct libevdev_uinput;

// A "physical" keyboard made through uinput for tests on a real kernel: what it writes
// reaches the system as if typed. It has every keyboard key and the LEDs; optionally
// the kernel's autorepeat, and a mouse in the same device. Destroying it is an unplug.
class FakeKeyboard {
public:
    struct Options {
        QString name = QStringLiteral("Velmora test keyboard");
        bool autorepeat = false;
        bool pointer = false;
    };

    explicit FakeKeyboard(const Options &options);
    FakeKeyboard() : FakeKeyboard(Options{}) {}
    ~FakeKeyboard();
    FakeKeyboard(const FakeKeyboard &) = delete;
    FakeKeyboard &operator=(const FakeKeyboard &) = delete;

    bool isValid() const { return m_device != nullptr; }
    // /dev/input/eventN
    QString devnode() const;
    bool write(std::span<const input_event> events);
    // One event and its SYN_REPORT.
    bool send(uint16_t type, uint16_t code, int32_t value);
    bool press(uint16_t code) { return send(EV_KEY, code, 1); }
    bool release(uint16_t code) { return send(EV_KEY, code, 0); }
    bool tap(uint16_t code);
    // The LED as the kernel holds it for this device.
    bool ledOn(uint16_t led) const;
    void unplug();

private:
    int m_fd = -1;
    libevdev_uinput *m_device = nullptr;
};
