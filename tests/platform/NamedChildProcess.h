#pragma once

#include <sys/types.h>

// A child process that does nothing but carry a given name (its /proc/<pid>/comm) until
// the object goes. The kernel keeps the first 15 bytes of the name.
class NamedChildProcess {
public:
    explicit NamedChildProcess(const char *name);
    ~NamedChildProcess();
    NamedChildProcess(const NamedChildProcess &) = delete;
    NamedChildProcess &operator=(const NamedChildProcess &) = delete;

    // -1 when the child could not be started.
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};
