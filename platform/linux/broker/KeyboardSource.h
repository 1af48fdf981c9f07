#pragma once

#include <linux/input.h>

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

// Which keys are down, indexed by evdev key code.
using KeyBits = std::bitset<KEY_CNT>;

// Outcome of reading a device: more events may follow, or the device is gone for good.
enum class ReadStatus { Ok, Gone };

// One physical keyboard the tap can grab and read. Reads never block.
class KeyboardSource {
public:
    virtual ~KeyboardSource() = default;

    virtual int fd() const = 0;
    virtual std::string name() const = 0;
    // Tells devices apart where a node name cannot: a node may name another device once the
    // first is gone.
    virtual uint64_t identity() const = 0;
    // A keyboard with a mouse or pointing stick in the same device (wireless combos, some
    // laptops): its buttons and motion go to the virtual pointer.
    virtual bool hasPointer() const = 0;
    // False once the device is gone, even before its reader has seen the end.
    virtual bool isPresent() const = 0;
    // Exclusive access: while grabbed, nobody else sees this keyboard's events.
    virtual bool grab() = 0;
    virtual void ungrab() = 0;
    // Appends whatever whole event records are ready.
    virtual ReadStatus readEvents(std::vector<input_event> &events) = 0;
    // The keys the device reports as down right now.
    virtual KeyBits keysDown() const = 0;
    virtual bool ledOn(uint16_t led) const = 0;
    virtual void setLed(uint16_t led, bool on) = 0;
};
