#pragma once

#include <QString>

#include <sys/types.h>

// The short name the kernel keeps for a process (/proc/<pid>/comm), letter case kept.
class ProcessName {
public:
    // Null when the process is gone or its name cannot be read.
    static QString ofPid(pid_t pid);
};
