#pragma once

#include <deque>

// Knows whether NumLock is on for the system, from the LED writes the system sends
// to the virtual keyboard. The NumLock toggles the tap emits itself come back as LED
// writes too; those echoes are recognised and do not count as the person's changes.
class NumLockTracker {
public:
    bool isOn() const { return m_on; }
    void setOn(bool on);
    // The tap is about to toggle NumLock on and straight back off.
    void expectWrapEchoes();
    // An LED write arrived. Returns true when it was the echo of our own toggle.
    bool ledReported(bool on);

private:
    bool m_on = false;
    std::deque<bool> m_expectedEchoes;
};
