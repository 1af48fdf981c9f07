#include "tests/platform/NamedChildProcess.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

NamedChildProcess::NamedChildProcess(const char *name) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls here: the parent may have other threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::prctl(PR_SET_NAME, name);
        const char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    // The name is set once the child has written; a failed fork reads end of file.
    if (m_pid > 0 && ::read(ready[0], &byte, 1) != 1) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    ::close(ready[0]);
}

NamedChildProcess::~NamedChildProcess() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}
