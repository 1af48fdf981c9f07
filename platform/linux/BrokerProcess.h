#pragma once

#include "platform/Result.h"
#include "platform/linux/broker/UniqueFd.h"

#include <QString>

#include <sys/types.h>

// Starts the keyboard broker (VelmoraBroker, beside Velmora's own executable) with the
// rights this process has at start-up: the only part of Velmora that keeps root. The
// broker gets a session of its own, so Ctrl+Z or Ctrl+C in the terminal never reach it,
// and nothing of ours but its end of the socket. Between fork and exec the child makes only
// calls that are safe there, so start() may be called from a process with threads.
class BrokerProcess {
public:
    static const QString ProgramName;

    struct Started {
        UniqueFd socket;  // this process's end; the broker ends when it closes
        pid_t pid = -1;
    };

    // The broker program beside the running executable.
    static QString besideExecutable();
    // Fails only when no process could be made; a broker that cannot be run says so on
    // the socket (a BrokerNotStarted problem) and ends.
    static Result<Started> start(const QString &programPath);

private:
    [[noreturn]] static void runInChild(UniqueFd socket, const QByteArray &program);
};
