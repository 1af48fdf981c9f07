#include "platform/linux/ProcessName.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

QString ProcessName::ofPid(pid_t pid) {
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/comm", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    // The kernel keeps at most 15 bytes plus a newline; read a little more to be safe.
    char buffer[64];
    const ssize_t length = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (length <= 0) return {};
    const qsizetype end = buffer[length - 1] == '\n' ? length - 1 : length;
    if (end == 0) return {};
    return QString::fromUtf8(buffer, end);
}
