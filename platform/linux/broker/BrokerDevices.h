#pragma once

#include "platform/linux/broker/KeyboardSink.h"
#include "platform/linux/broker/KeyboardSource.h"

#include <memory>
#include <vector>

// What the keyboard broker needs of the machine's input devices: the Linux ones in
// LinuxBrokerDevices, pipes in tests. Owned by the broker; used from its loop's thread. The
// sinks it makes must go before it does.
class BrokerDevices {
public:
    struct Created {
        std::unique_ptr<KeyboardSink> sink;
        int errorNumber = 0;
    };
    struct Scan {
        std::vector<std::unique_ptr<KeyboardSource>> keyboards;
        // Some device could not be opened for want of permission.
        bool denied = false;
    };

    virtual ~BrokerDevices() = default;

    // The virtual keyboard, and whatever making the virtual pointer later will need.
    virtual Created createVirtualKeyboard() = 0;
    // The virtual pointer, for keyboards that carry one; null when it cannot be made.
    virtual std::unique_ptr<KeyboardSink> createVirtualPointer() = 0;
    // Starts watching for keyboards plugged in later: the descriptor to poll, or -1.
    virtual int startWatching() = 0;
    virtual Scan scanKeyboards() = 0;
    // The keyboards plugged in since the watch descriptor last became readable.
    virtual std::vector<std::unique_ptr<KeyboardSource>> takeAdded() = 0;
};
