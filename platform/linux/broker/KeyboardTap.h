#pragma once

#include "platform/linux/broker/BrokerClock.h"
#include "platform/linux/broker/KeyboardSink.h"
#include "platform/linux/broker/KeyboardSource.h"
#include "platform/linux/broker/TapEngine.h"
#include "platform/linux/broker/TapEvent.h"
#include "platform/linux/broker/TapOutput.h"
#include "platform/linux/broker/TapWatchdog.h"

#include <poll.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

// The keyboard event tap, inside the keyboard broker: every keyboard grabbed and read here, its
// key events handed to the callback on the way, and everything re-emitted on one virtual
// keyboard; the buttons and motion of keyboards that carry a pointer go to a virtual pointer,
// made while such a keyboard is there. It runs on the broker's loop, which polls what
// fillPoll() lists and hands the result to serve(); nothing on the way waits on another process.
//
// Keyboards are grabbed only while no key is held on them. A watchdog thread lets them go and
// lifts every key when the loop stops beating; the tap takes them back once the loop has beaten
// again for a stall limit. The panic chord Backspace+Escape+Enter lets them go until rearm(), and
// an inactive seat until it is active again. NumLock, if the tap turned it on for remapped keypad
// keys, is handed back on a beat once remapping stops applying, and whenever the keyboards are
// let go.
class KeyboardTap final : private TapOutput {
public:
    using Clock = BrokerClock;
    static constexpr std::chrono::milliseconds DefaultStallLimit{1000};
    // Makes the virtual pointer; null when it cannot be made.
    using PointerFactory = std::function<std::unique_ptr<KeyboardSink>()>;

    struct Status {
        int keyboards = 0;
        bool panicReleased = false;
        bool stallReleased = false;
        bool operator==(const Status &) const = default;
    };

    KeyboardTap(std::unique_ptr<KeyboardSink> keyboard, PointerFactory makePointer,
                TapCallback callback, void *userInfo,
                std::chrono::milliseconds stallLimit = DefaultStallLimit);
    ~KeyboardTap() override;
    KeyboardTap(const KeyboardTap &) = delete;
    KeyboardTap &operator=(const KeyboardTap &) = delete;

    // Takes a keyboard and grabs it when it can. The same device again is ignored, unless its
    // old handle is dead (it went and came back): that one is replaced.
    void addKeyboard(std::unique_ptr<KeyboardSource> source);
    Status status() const;

    // What the loop polls: the virtual keyboard's LED feedback and every keyboard (only for its
    // end while the tap does not want it).
    void fillPoll(std::vector<pollfd> &fds) const;
    // What poll found in the entries fillPoll() added.
    void serve(std::span<const pollfd> fds);
    // From the loop on every turn, and at least a few times a second.
    void beat(Clock::time_point now);

    // Takes the keyboards back after the panic chord.
    void rearm();
    // Lets every keyboard go while another session is in front, and takes them back after.
    void setSeatActive(bool active);
    // Releases every key and lets the keyboards go for good. Safe twice.
    void shutdown();

private:
    struct Keyboard;

    bool wantsKeyboards() const;
    Keyboard *keyboardWithFd(int fd) const;
    void onReadable(Keyboard &keyboard);
    void onFeedback();
    void handleVerdict(Keyboard &keyboard, TapEngine::Verdict verdict);
    void tryGrab(Keyboard &keyboard);
    void tryGrabAll();
    void ungrabAll();
    void removeKeyboard(Keyboard &keyboard);
    bool needsPointer() const;
    void failOpen();
    void recoverFromStall(Clock::time_point now);

    void emitEvents(std::span<const input_event> events) override;
    void forwardLed(uint16_t led, bool on) override;
    void write(KeyboardSink &sink, std::span<const input_event> events);

    const std::unique_ptr<KeyboardSink> m_keyboardSink;
    const PointerFactory m_makePointer;
    TapEngine m_engine;
    const std::chrono::milliseconds m_stallLimit;
    // Guards the keyboard list, their grabs and the pointer against the watchdog's thread.
    mutable std::mutex m_grabMutex;
    std::vector<std::unique_ptr<Keyboard>> m_keyboards;
    std::unique_ptr<KeyboardSink> m_pointerSink;
    std::vector<input_event> m_readBuffer;
    std::vector<input_event> m_keyboardOut;
    std::vector<input_event> m_pointerOut;
    Clock::time_point m_nextTick;
    Clock::time_point m_rearmAt;
    int m_nextId = 0;
    bool m_ledsSeeded = false;
    bool m_panicReleased = false;
    bool m_seatActive = true;
    bool m_stalled = false;
    bool m_stopped = false;
    bool m_writeFailed = false;
    // Last, so that its thread ends before anything it touches goes away.
    TapWatchdog m_watchdog;
};
