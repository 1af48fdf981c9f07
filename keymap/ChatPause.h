#pragma once

#include <cstdint>

#include "keymap/VirtualKeyCodes.h"

// Whether the game's chat is open, followed from the game's own key events so that the tap
// can let typed text through unchanged: Enter opens the chat, Enter or Escape closes it.
// Plain data, fed by the tap callback on the key path: no Qt, no allocation, no locks.
// Off until enabled; turning it off or resetting it ends a pause.
class ChatPause {
public:
    static constexpr uint16_t ReturnKeyCode = 0x24;
    static constexpr uint16_t KeypadEnterKeyCode = 0x4C;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isPaused() const { return m_paused; }
    void reset();

    // One key event of the game in front (KeyDownEvent or KeyUpEvent). True when the event
    // belongs to the chat and must pass unchanged: every event while the chat is open,
    // and the Enter or Escape that opens or closes it. An Enter held down opens or closes
    // the chat once, however often it repeats.
    bool feed(uint32_t eventType, uint16_t keyCode);

private:
    bool m_enabled = false;
    bool m_paused = false;
    bool m_enterHeld = false;
};
