#pragma once

#include "platform/linux/broker/BrokerChannel.h"
#include "platform/linux/broker/BrokerClock.h"
#include "platform/linux/broker/BrokerDevices.h"
#include "platform/linux/broker/KeyboardTap.h"
#include "platform/linux/broker/RemapHost.h"
#include "platform/linux/broker/SeatSource.h"

#include <poll.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

// The privileged part of Velmora, and the only one that touches input devices. It opens the
// keyboards and /dev/uinput, runs the keyboard tap on them (KeyboardTap) with eventCallback
// deciding every key event, and re-emits the result on its virtual keyboard. No descriptor of a
// device ever leaves this process, and the per-key path never waits on another process.
//
// The person's side of Velmora (window, settings, network) sends state only, never events: the
// switch, whether the game is in front, the slot and pair tables, the chat option, each time in
// one fixed-size message this side checks; anything else ends the broker. It tells the person's
// side what its status line needs (BrokerStatus) whenever that changes.
//
// That side beats five times a second. When the beats stop for longer than the stall limit (it
// is stopped, traced or stuck), nothing is remapped until it beats again, and keys go on flowing
// unchanged. When the socket closes (quit, crash, kill) or a stop signal comes, the broker lets
// every keyboard go, lifts every key and ends. While the person's login session is not the
// active one on its seat, every keyboard is let go.
class KeyboardBroker {
public:
    static constexpr std::chrono::milliseconds DefaultStallLimit = KeyboardTap::DefaultStallLimit;

    // `dropPrivileges`, when given, runs once the virtual keyboard is made and the watches
    // are set, before any keyboard is opened and before the tap makes its thread.
    KeyboardBroker(UniqueFd socket, std::unique_ptr<BrokerDevices> devices,
                   std::unique_ptr<SeatSource> seat, std::function<void()> dropPrivileges = {},
                   std::chrono::milliseconds stallLimit = DefaultStallLimit);
    ~KeyboardBroker();
    KeyboardBroker(const KeyboardBroker &) = delete;
    KeyboardBroker &operator=(const KeyboardBroker &) = delete;

    // Serves the person's side until its end of the socket closes, it breaks the protocol,
    // or stopFd (when given) becomes readable; lets every keyboard go on the way out.
    void run(int stopFd = -1);

private:
    using Clock = BrokerClock;
    enum class Served { Ok, End };

    Served serveMessages(Clock::time_point now);
    Served handle(const BrokerMessage &message, Clock::time_point now);
    void openDevices();
    void followSeat();
    void checkHeartbeat(Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;
    void reportStatus();
    void send(const BrokerMessage &message);

    BrokerChannel m_channel;
    // Before the tap, which holds sinks it made: they go first.
    const std::unique_ptr<BrokerDevices> m_devices;
    const std::unique_ptr<SeatSource> m_seat;
    const std::function<void()> m_dropPrivileges;
    const std::chrono::milliseconds m_stallLimit;
    RemapHost m_host;
    std::unique_ptr<KeyboardTap> m_tap;
    std::vector<pollfd> m_fds;
    int m_watchFd = -1;
    bool m_started = false;
    bool m_seatUnknown = true;
    bool m_seatActive = true;
    Clock::time_point m_lastBeat;
    BrokerStatus m_reported;
    bool m_reportPending = false;
};
