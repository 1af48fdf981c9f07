#include "platform/linux/broker/NumLockKeeper.h"

void NumLockKeeper::seed(bool on) { m_on = on; }

void NumLockKeeper::reported(bool on) {
    catchUp();
    m_lastReport = on;
    m_reportSinceSent = true;
    if (m_quietTicks >= SettleTicks) believe(on);
}

void NumLockKeeper::tick() {
    catchUp();
    if (m_quietTicks >= SettleTicks || ++m_quietTicks < SettleTicks) return;
    // No report since: nothing changed that did not go out through the tap (a report
    // lost, or toggles merged into none), so the prediction stands.
    if (m_reportSinceSent) believe(m_lastReport);
}

void NumLockKeeper::personToggled() {
    catchUp();
    m_held = false;
    sent();
}

bool NumLockKeeper::turnOnForKeypad() {
    catchUp();
    if (m_on) return false;
    sent();
    m_held = true;
    return true;
}

bool NumLockKeeper::giveBack() {
    catchUp();
    if (!m_held.exchange(false)) return false;
    sent();
    return true;
}

bool NumLockKeeper::takeBack() {
    if (!m_held.exchange(false)) return false;
    m_takenBack = true;
    return true;
}

void NumLockKeeper::catchUp() {
    if (m_takenBack.exchange(false)) sent();
}

void NumLockKeeper::sent() {
    m_on = !m_on;
    m_quietTicks = 0;
    m_reportSinceSent = false;
}

void NumLockKeeper::believe(bool on) {
    m_on = on;
    if (!on) m_held = false;
}
