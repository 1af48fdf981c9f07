#pragma once

#include <atomic>

// Keeps the system's NumLock on while remapped keypad keys are typed, so that they and
// their auto-repeats type digits, and hands it back afterwards. The tap never wraps single
// keys in toggles: it turns NumLock on once, before the first remapped keypad press that
// needs it, and turns it off again only if it was the one that turned it on and the
// person has not pressed NumLock since.
//
// The system tells NumLock's state through LED reports. A report is an absolute state, so
// one that is merged with another, lost or late leaves nothing behind as long as nothing
// counts reports, and nothing here does. While NumLock presses (the tap's own or the
// person's, which all go out through the tap) are on their way, the state is predicted
// from them: the system applies the tap's output in order, so the prediction holds unless
// something else toggles NumLock at that moment. Once no press has gone out for
// SettleTicks ticks, the latest report since the last press is believed, and so is every
// report after it; with no report since, nothing changed that the prediction missed.
//
// Lives in the tap engine on the main thread; takeBack() alone may be called from any
// thread (the watchdog's).
class NumLockKeeper {
public:
    static constexpr int SettleTicks = 2;

    bool isOn() const { return m_on; }
    // True while NumLock is on because the tap turned it on.
    bool isHeld() const { return m_held; }

    // The state to start from, before the system has reported one.
    void seed(bool on);
    // The latest NumLock LED state the system reported.
    void reported(bool on);
    // Called a few times a second; reports are believed again once presses settle.
    void tick();
    // A NumLock press of the person's went out: the state is theirs from now on.
    void personToggled();
    // A remapped keypad press is about to go out. True when the caller must first emit
    // one NumLock press and release to turn NumLock on.
    bool turnOnForKeypad();
    // Remapping no longer applies. True when the caller must emit one NumLock press and
    // release to turn off what the tap turned on.
    bool giveBack();
    // giveBack() for a thread other than the main one, which hears of it at its next call.
    bool takeBack();

private:
    void catchUp();
    void sent();
    void believe(bool on);

    bool m_on = false;
    bool m_lastReport = false;
    bool m_reportSinceSent = false;
    int m_quietTicks = SettleTicks;
    std::atomic<bool> m_held = false;
    std::atomic<bool> m_takenBack = false;
};
