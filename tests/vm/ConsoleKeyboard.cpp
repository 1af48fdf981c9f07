#include "tests/vm/ConsoleKeyboard.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

ConsoleKeyboard::ConsoleKeyboard()
    : m_fd(::open("/dev/tty1", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    termios mode{};
    if (m_fd < 0 || tcgetattr(m_fd, &mode) != 0) return;
    cfmakeraw(&mode);
    tcsetattr(m_fd, TCSANOW, &mode);
    tcflush(m_fd, TCIFLUSH);
}

ConsoleKeyboard::~ConsoleKeyboard() {
    if (m_fd >= 0) ::close(m_fd);
}

QByteArray ConsoleKeyboard::take() {
    QByteArray text;
    char buffer[256];
    ssize_t got;
    while ((got = ::read(m_fd, buffer, sizeof(buffer))) > 0) text.append(buffer, got);
    return text;
}

bool ConsoleKeyboard::numLock() const {
    char flags = 0;
    return ioctl(m_fd, KDGKBLED, &flags) == 0 && (flags & K_NUMLOCK);
}

void ConsoleKeyboard::setNumLock(bool on) {
    char flags = 0;
    if (ioctl(m_fd, KDGKBLED, &flags) != 0) return;
    flags = char((flags & ~K_NUMLOCK) | (on ? K_NUMLOCK : 0));
    ioctl(m_fd, KDSKBLED, (unsigned long)(unsigned char)flags);
}
