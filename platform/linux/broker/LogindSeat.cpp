#include "platform/linux/broker/LogindSeat.h"

#include <systemd/sd-login.h>

#include <unistd.h>
#include <cstdlib>

namespace {

// logind keeps its seats here while it runs.
bool logindRuns() { return access("/run/systemd/seats/", F_OK) == 0; }

}  // namespace

LogindSeat::LogindSeat() {
    char *session = nullptr;
    if (!logindRuns() || sd_pid_get_session(0, &session) < 0) return;
    m_session = session;
    std::free(session);
    if (sd_login_monitor_new("session", &m_monitor) < 0) m_monitor = nullptr;
}

LogindSeat::~LogindSeat() { sd_login_monitor_unref(m_monitor); }

std::optional<bool> LogindSeat::active() {
    if (m_session.empty()) return std::nullopt;
    // A session that is gone is not active either.
    return sd_session_is_active(m_session.c_str()) > 0;
}

int LogindSeat::watchFd() const { return m_monitor ? sd_login_monitor_get_fd(m_monitor) : -1; }

void LogindSeat::flush() {
    if (m_monitor) sd_login_monitor_flush(m_monitor);
}
