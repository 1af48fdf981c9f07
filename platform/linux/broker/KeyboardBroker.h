#pragma once

#include "platform/linux/broker/BrokerChannel.h"
#include "platform/linux/broker/BrokerDevices.h"

#include <chrono>
#include <memory>
#include <vector>

// The privileged part of Velmora. Only this needs root: it opens the keyboards and
// /dev/uinput and hands each descriptor to the person's side of Velmora, which runs the
// tap on them in its own process, so no key ever waits on a second process. Everything
// else (window, settings, network) runs as the person.
//
// Why a broker of descriptors rather than a root tap fed the remapping state: the per-key
// path then stays in one process with no round trip, and the root part stays small and reads
// nothing but this socket's few fixed messages: no slot table, no window names, nothing that
// came from outside.
//
// The broker keeps its own reference to every descriptor it hands over (the same open
// file), so it can fail open without the person's side: when the heartbeats stop for
// longer than the stall limit (the process stopped, traced or stuck) it lets every grab
// go and lifts every key of the virtual keyboard, then tells the person's side, which
// takes the keyboards back itself once it beats again. When the socket closes (quit,
// crash, kill) it does the same and ends.
class KeyboardBroker {
public:
    static constexpr std::chrono::milliseconds DefaultStallLimit{1000};

    KeyboardBroker(UniqueFd socket, std::unique_ptr<BrokerDevices> devices,
                   std::chrono::milliseconds stallLimit = DefaultStallLimit);
    ~KeyboardBroker();
    KeyboardBroker(const KeyboardBroker &) = delete;
    KeyboardBroker &operator=(const KeyboardBroker &) = delete;

    // Serves the person's side until its end of the socket closes, it breaks the protocol,
    // or stopFd (when given) becomes readable; lets every keyboard go on the way out.
    void run(int stopFd = -1);

private:
    using Clock = std::chrono::steady_clock;
    enum class Served { Ok, End };

    Served serveMessages();
    Served handle(BrokerMessage message);
    void openDevices();
    void addKeyboard(BrokerDevices::Opened keyboard);
    void dropGoneKeyboards(const std::vector<size_t> &gone);
    int pollTimeoutMs() const;
    void checkHeartbeat();
    void failOpen();
    void send(BrokerMessage message);

    BrokerChannel m_channel;
    std::unique_ptr<BrokerDevices> m_devices;
    const std::chrono::milliseconds m_stallLimit;
    UniqueFd m_virtualKeyboard;
    std::vector<BrokerDevices::Opened> m_keyboards;
    int m_watchFd = -1;
    bool m_started = false;
    bool m_tripped = false;
    Clock::time_point m_lastBeat;
};
