#include "tests/vm/EventNodeReader.h"

#include <QDir>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int openNode(const QString &node, int flags) {
    return ::open(node.toLocal8Bit().constData(), flags | O_CLOEXEC);
}

}  // namespace

EventNodeReader::EventNodeReader(const QString &node)
    : m_fd(openNode(node, O_RDONLY | O_NONBLOCK)) {}

EventNodeReader::~EventNodeReader() {
    if (m_fd >= 0) ::close(m_fd);
}

bool EventNodeReader::tryGrab() {
    if (ioctl(m_fd, EVIOCGRAB, 1) != 0) return false;
    ioctl(m_fd, EVIOCGRAB, 0);
    return true;
}

QString EventNodeReader::nodeNamed(const QString &name, const QString &except) {
    const QDir input(QStringLiteral("/dev/input"));
    for (const QString &entry : input.entryList({QStringLiteral("event*")}, QDir::System)) {
        const QString node = input.filePath(entry);
        const int fd = openNode(node, O_RDONLY);
        char buffer[256] = {};
        const bool named = fd >= 0 && ioctl(fd, EVIOCGNAME(sizeof(buffer) - 1), buffer) >= 0;
        if (fd >= 0) ::close(fd);
        if (named && QString::fromUtf8(buffer) == name && node != except) return node;
    }
    return {};
}

bool EventNodeReader::ledOn(const QString &node, uint16_t led) {
    const int fd = openNode(node, O_RDONLY);
    unsigned char bits[(LED_CNT + 7) / 8] = {};
    const bool known = fd >= 0 && ioctl(fd, EVIOCGLED(sizeof(bits)), bits) >= 0;
    if (fd >= 0) ::close(fd);
    return known && (bits[led / 8] & (1u << (led % 8)));
}
