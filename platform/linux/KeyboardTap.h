#pragma once

#include "platform/EventTap.h"
#include "platform/Result.h"
#include "platform/TapEvent.h"
#include "platform/linux/KeyboardSink.h"
#include "platform/linux/KeyboardSource.h"
#include "platform/linux/StallGuard.h"
#include "platform/linux/TapEngine.h"
#include "platform/linux/TapOutput.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class BrokerClient;
class BrokerStallGuard;
class QSocketNotifier;
class UniqueFd;
struct BrokerMessage;

// The keyboard event tap: every keyboard grabbed, everything re-emitted on one virtual
// keyboard, key events handed to the callback on the main thread on the way.
//
// The devices come from the keyboard broker (platform/linux/broker), the one part of Velmora
// that keeps root: it opens them and hands their descriptors over, and the tap reads and grabs
// them here, in this process, so that no key ever waits on another process. Keyboards are
// grabbed only while no key is held on them. A stall guard lets the keyboards go when the main
// thread stops answering (with the broker, even while the whole process is stopped), so a hung
// Velmora never takes the keyboard with it; the tap takes them back once the main thread has
// answered for a while. The panic chord Backspace+Escape+Enter lets them go until rearm(). NumLock,
// if the tap turned it on for remapped keypad keys, is handed back on the heartbeat once remapping
// stops applying, and whenever the keyboards are let go.
class KeyboardTap : public EventTap, private TapOutput {
    Q_OBJECT
public:
    enum class Status {
        Active,
        NoKeyboard,
        DisabledByWatchdog,
        ReleasedByPanic,
        Stopped,
        BrokerLost
    };
    static constexpr std::chrono::milliseconds DefaultStallLimit{1000};
    // How long the broker may take over its first scan of the keyboards.
    static constexpr std::chrono::milliseconds BrokerStartLimit{10000};
    // Makes the stall guard, given what it calls when it trips; the in-process watchdog
    // when empty.
    using StallGuardFactory =
        std::function<std::unique_ptr<StallGuard>(std::function<void()> onStall)>;

    // The tap on this machine's keyboards, through a keyboard broker started beside this
    // program; fails, saying why in plain words, when it cannot work.
    static Result<std::unique_ptr<KeyboardTap>> create(TapCallback callback, void *userInfo);
    // The tap on the devices of a broker already started (Velmora starts it before it gives
    // up root); the tap owns the broker's end from now on.
    static Result<std::unique_ptr<KeyboardTap>> createWithBroker(
        std::unique_ptr<BrokerClient> broker, TapCallback callback, void *userInfo);

    KeyboardTap(std::unique_ptr<KeyboardSink> sink, TapCallback callback, void *userInfo,
                std::chrono::milliseconds stallLimit = DefaultStallLimit,
                const StallGuardFactory &makeGuard = {});
    ~KeyboardTap() override;

    // `path` names the device node, when there is one.
    void addKeyboard(std::unique_ptr<KeyboardSource> source, const QString &path = {});

    Status status() const;
    QString statusText() const override;
    int keyboardCount() const { return int(m_keyboards.size()); }

    void shutdown() override;
    void rearm() override;

private:
    struct Keyboard;
    struct FirstScan;

    void adoptBroker(std::unique_ptr<BrokerClient> broker, BrokerStallGuard *guard);
    void adoptKeyboard(UniqueFd fd, const QString &path);
    void onBrokerMessage(BrokerMessage message);
    void onBrokerLost();
    void onReadable(Keyboard *keyboard);
    void onFeedback();
    void handleVerdict(Keyboard &keyboard, TapEngine::Verdict verdict);
    void tryGrab(Keyboard &keyboard);
    void tryGrabAll();
    void ungrabAll();
    void removeKeyboard(Keyboard *keyboard);
    bool anyGrabbed() const;
    void failOpen();
    void recoverFromStall();
    void rearmAfterStall();
    void updateStatus();

    void emitEvents(std::span<const input_event> events) override;
    void forwardLed(uint16_t led, bool on) override;

    std::unique_ptr<KeyboardSink> m_sink;
    TapEngine m_engine;
    const std::chrono::milliseconds m_stallLimit;
    // Guards grab state and the keyboard list against the watchdog thread.
    mutable std::mutex m_grabMutex;
    std::vector<std::unique_ptr<Keyboard>> m_keyboards;
    std::unique_ptr<QSocketNotifier> m_feedbackNotifier;
    std::vector<input_event> m_readBuffer;
    QTimer m_heartbeat;
    int m_nextId = 0;
    bool m_ledsSeeded = false;
    bool m_panicReleased = false;
    bool m_stalled = false;
    bool m_stopped = false;
    bool m_brokerLost = false;
    bool m_writeFailed = false;
    Status m_reportedStatus = Status::NoKeyboard;
    int m_reportedCount = 0;
    // The broker's end, when the devices are the broker's; the guard beats through it.
    std::unique_ptr<BrokerClient> m_broker;
    BrokerStallGuard *m_brokerGuard = nullptr;
    // Last, so that it (and any thread of its own) ends before anything it touches goes away.
    std::unique_ptr<StallGuard> m_stallGuard;
};
