#pragma once

#include "platform/EventTap.h"
#include "platform/Result.h"
#include "platform/TapEvent.h"
#include "platform/linux/KeyboardSink.h"
#include "platform/linux/KeyboardSource.h"
#include "platform/linux/TapEngine.h"
#include "platform/linux/TapOutput.h"
#include "platform/linux/TapWatchdog.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

class KeyboardMonitor;
class QSocketNotifier;

// The keyboard event tap: every keyboard grabbed, everything re-emitted on one virtual
// keyboard, key events handed to the callback on the main thread on the way.
//
// Keyboards are grabbed only while no key is held on them. A watchdog thread lets the
// keyboards go when the main thread stops answering, so a hung Velmora never takes
// the keyboard with it; the tap takes them back once the main thread has answered for a
// while. The panic chord Backspace+Escape+Enter lets them go until rearm(). NumLock, if
// the tap turned it on for remapped keypad keys, is handed back on the heartbeat once
// remapping stops applying, and whenever the keyboards are let go.
class KeyboardTap : public EventTap, private TapOutput {
    Q_OBJECT
public:
    enum class Status { Active, NoKeyboard, DisabledByWatchdog, ReleasedByPanic, Stopped };
    static constexpr std::chrono::milliseconds DefaultStallLimit{1000};

    // The tap on this machine's keyboards and /dev/uinput; fails, saying why in plain
    // words, when it cannot work.
    static Result<std::unique_ptr<KeyboardTap>> create(TapCallback callback, void *userInfo);

    KeyboardTap(std::unique_ptr<KeyboardSink> sink, TapCallback callback, void *userInfo,
                std::chrono::milliseconds stallLimit = DefaultStallLimit);
    ~KeyboardTap() override;

    // `path` names the device node, when there is one, so it is never opened twice.
    void addKeyboard(std::unique_ptr<KeyboardSource> source, const QString &path = {});
    void watchForNewKeyboards(std::unique_ptr<KeyboardMonitor> monitor);

    Status status() const;
    QString statusText() const override;
    int keyboardCount() const { return int(m_keyboards.size()); }

    void shutdown() override;
    void rearm() override;

private:
    struct Keyboard;

    void openKeyboard(const QString &path);
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
    std::unique_ptr<KeyboardMonitor> m_monitor;
    std::vector<input_event> m_readBuffer;
    QTimer m_heartbeat;
    int m_nextId = 0;
    bool m_ledsSeeded = false;
    bool m_panicReleased = false;
    bool m_stalled = false;
    bool m_stopped = false;
    bool m_writeFailed = false;
    Status m_reportedStatus = Status::NoKeyboard;
    int m_reportedCount = 0;
    // Last, so that its thread ends before anything it touches goes away.
    TapWatchdog m_watchdog;
};
