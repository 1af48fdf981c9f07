#pragma once

#include <QString>

#include <linux/input.h>

#include <array>
#include <cstdint>
#include <set>

// A "physical" USB keyboard for tests on a real kernel, made through uhid as Bluetooth keyboards
// are: the kernel's HID driver turns its reports into a keyboard of its own, which the broker
// takes like any other real one (it never takes a device made through uinput). Like a real
// keyboard it has the kernel's autorepeat and LEDs; optionally a mouse in the same device.
// Destroying it is an unplug.
class FakeKeyboard {
public:
    struct Options {
        QString name = QStringLiteral("Velmora test keyboard");
        bool pointer = false;
    };

    explicit FakeKeyboard(const Options &options);
    FakeKeyboard() : FakeKeyboard(Options{}) {}
    ~FakeKeyboard();
    FakeKeyboard(const FakeKeyboard &) = delete;
    FakeKeyboard &operator=(const FakeKeyboard &) = delete;

    // Its event node has appeared.
    bool isValid() const { return !m_devnode.isEmpty(); }
    // /dev/input/eventN
    QString devnode() const { return m_devnode; }
    // A key press (1) or release (0), a button, or a pointer's motion (EV_REL).
    bool send(uint16_t type, uint16_t code, int32_t value);
    bool press(uint16_t code) { return send(EV_KEY, code, 1); }
    bool release(uint16_t code) { return send(EV_KEY, code, 0); }
    bool tap(uint16_t code);
    // The LED as the kernel holds it for this device.
    bool ledOn(uint16_t led);
    void unplug();

private:
    bool sendReport(int8_t x = 0, int8_t y = 0, int8_t wheel = 0);
    // Answers what the kernel asks of the device, and drops the LED reports it sends.
    void serveKernel();

    int m_fd = -1;
    bool m_pointer;
    QString m_devnode;
    uint8_t m_modifiers = 0;
    uint8_t m_buttons = 0;
    std::set<uint8_t> m_keys;
};
