#include "platform/linux/NumLockTracker.h"

void NumLockTracker::setOn(bool on) {
    m_on = on;
    m_expectedEchoes.clear();
}

void NumLockTracker::expectWrapEchoes() {
    m_expectedEchoes.push_back(!m_on);
    m_expectedEchoes.push_back(m_on);
}

bool NumLockTracker::ledReported(bool on) {
    if (!m_expectedEchoes.empty() && m_expectedEchoes.front() == on) {
        m_expectedEchoes.pop_front();
        return true;
    }
    // Anything unexpected is the system's word, and it overrides what we expected.
    setOn(on);
    return false;
}
