#include "keymap/ChatPause.h"

namespace {

bool isEnter(uint16_t keyCode) {
    return keyCode == ChatPause::ReturnKeyCode || keyCode == ChatPause::KeypadEnterKeyCode;
}

}  // namespace

void ChatPause::setEnabled(bool enabled) {
    m_enabled = enabled;
    if (!enabled) reset();
}

void ChatPause::reset() {
    m_paused = false;
    m_enterHeld = false;
}

bool ChatPause::feed(uint32_t eventType, uint16_t keyCode) {
    if (!m_enabled) return false;
    const bool wasPaused = m_paused;
    const bool keyDown = eventType == KeyDownEvent;
    if (isEnter(keyCode)) {
        if (keyDown && !m_enterHeld) m_paused = !m_paused;
        m_enterHeld = keyDown;
        return true;
    }
    if (keyDown && keyCode == EscapeKeyCode) m_paused = false;
    return wasPaused;
}
