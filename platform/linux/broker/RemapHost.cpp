#include "platform/linux/broker/RemapHost.h"

bool RemapHost::setState(const RemapState &state) {
    const bool switchedOn = state.remapSwitch && !m_sent.remapSwitch;
    m_sent = state;
    if (switchedOn) m_chatPause.reset();
    m_chatPause.setEnabled(state.chatPauseEnabled);
    update();
    return switchedOn;
}

void RemapHost::setPersonQuiet(bool quiet) {
    if (quiet == m_quiet) return;
    m_quiet = quiet;
    update();
}

void RemapHost::update() {
    m_effective = m_sent;
    if (m_quiet) m_effective.remapSwitch = false;
}
