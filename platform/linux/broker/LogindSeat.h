#pragma once

#include "platform/linux/broker/SeatSource.h"

#include <string>

struct sd_login_monitor;

// The session this process belongs to (the person's, whose Velmora started the broker), as
// logind sees it, watched with sd-login. Without logind, or outside any session, it cannot
// tell.
class LogindSeat final : public SeatSource {
public:
    LogindSeat();
    ~LogindSeat() override;
    LogindSeat(const LogindSeat &) = delete;
    LogindSeat &operator=(const LogindSeat &) = delete;

    std::optional<bool> active() override;
    int watchFd() const override;
    void flush() override;

private:
    std::string m_session;
    sd_login_monitor *m_monitor = nullptr;
};
