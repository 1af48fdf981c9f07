#pragma once

#include "platform/linux/broker/UniqueFd.h"

#include <cstdint>
#include <string>
#include <vector>

// What the keyboard broker needs of the machine's input devices: the Linux ones in
// LinuxBrokerDevices, pipes in tests. Owned by the broker; used from its one thread.
class BrokerDevices {
public:
    struct Opened {
        UniqueFd fd;
        std::string path;
        // Tells devices apart where a node name cannot: a node may name another device once
        // the first is gone.
        uint64_t identity = 0;
    };
    struct Scan {
        std::vector<Opened> keyboards;
        // Some device could not be opened for want of permission.
        bool denied = false;
    };
    struct Created {
        UniqueFd fd;
        int errorNumber = 0;
    };

    virtual ~BrokerDevices() = default;

    virtual Created createVirtualKeyboard() = 0;
    // Starts watching for keyboards plugged in later: the descriptor to poll, or -1.
    virtual int startWatching() = 0;
    virtual Scan scanKeyboards() = 0;
    // The keyboards plugged in since the watch descriptor last became readable.
    virtual std::vector<Opened> takeAdded() = 0;
    virtual void ungrab(int fd) = 0;
    // False once the device behind fd is gone.
    virtual bool present(int fd) = 0;
};
