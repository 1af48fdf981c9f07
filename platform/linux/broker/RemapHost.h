#pragma once

#include "keymap/ChatPause.h"
#include "keymap/RemapDecision.h"

// What eventCallback decides on in the broker: the last state the person's side of Velmora
// sent, whether that side still answers, and the chat pause, which the callback moves on with
// the game's key events. Lives on the broker's loop thread.
class RemapHost {
public:
    // What the callback reads: the state sent, with the switch off while the person's side is
    // quiet.
    const RemapState &state() const { return m_effective; }
    ChatPause &chatPause() { return m_chatPause; }
    // True when this turns the switch on (which also closes a chat an earlier game left open).
    bool setState(const RemapState &state);
    // The person's side stopped answering, or answers again.
    void setPersonQuiet(bool quiet);

private:
    void update();

    RemapState m_sent;
    bool m_quiet = false;
    RemapState m_effective;
    ChatPause m_chatPause;
};
