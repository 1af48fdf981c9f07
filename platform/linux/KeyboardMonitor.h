#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Reports input devices that appear after start (plugged in), from libudev's monitor.
// Devices that go away are noticed by their readers (ENODEV), not here.
class KeyboardMonitor : public QObject {
    Q_OBJECT
public:
    // nullptr when udev cannot be reached.
    static std::unique_ptr<KeyboardMonitor> create();
    ~KeyboardMonitor() override;

signals:
    void deviceAdded(const QString &devnode);

private:
    KeyboardMonitor(udev *context, udev_monitor *monitor);
    void receive();

    udev *m_udev;
    udev_monitor *m_monitor;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
