#include "platform/linux/UinputSink.h"

#include "platform/linux/broker/LinuxBrokerDevices.h"

#include <QDir>
#include <QObject>

#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

const QString UinputSink::DeviceName = QString::fromLatin1(LinuxBrokerDevices::VirtualKeyboardName);

std::unique_ptr<UinputSink> UinputSink::adopt(UniqueFd fd) {
    return std::unique_ptr<UinputSink>(new UinputSink(std::move(fd)));
}

Failure UinputSink::creationFailure(int error) {
    if (error == EACCES || error == EPERM)
        return {QObject::tr("No permission to use /dev/uinput: Velmora must run as root to "
                            "remap keys."),
                error};
    if (error == ENOENT || error == ENODEV || error == ENXIO)
        return {QObject::tr("There is no /dev/uinput, so keys cannot be re-emitted: the uinput "
                            "kernel module is not loaded."),
                error};
    return {QObject::tr("Cannot create the virtual keyboard on /dev/uinput: %1")
                .arg(QString::fromLocal8Bit(strerror(error))),
            error};
}

bool UinputSink::writeEvents(std::span<const input_event> events) {
    const size_t bytes = events.size_bytes();
    ssize_t written;
    do {
        written = ::write(m_fd.get(), events.data(), bytes);
    } while (written < 0 && errno == EINTR);
    return written == ssize_t(bytes);
}

QString UinputSink::devnode() const {
    // The kernel names the input device ("inputN"); its event node is listed in sysfs.
    char name[64] = {};
    if (ioctl(m_fd.get(), UI_GET_SYSNAME(sizeof name - 1), name) < 0) return {};
    const QStringList events = QDir(QStringLiteral("/sys/class/input/") + QLatin1String(name))
                                   .entryList({QStringLiteral("event*")}, QDir::Dirs);
    return events.isEmpty() ? QString() : QStringLiteral("/dev/input/") + events.first();
}

ReadStatus UinputSink::readFeedback(std::vector<input_event> &events) {
    return m_reader.read(m_fd.get(), events);
}
