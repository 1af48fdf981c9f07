#pragma once

#include <QObject>
#include <QString>

// The keyboard event tap as the application sees it: it runs on its own once made, hands
// key events to the callback it was made with, and says in plain words how it is doing.
// Owned by the application; lives on the main thread.
class EventTap : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QString statusText() const = 0;
    // Takes the keyboards back after the person let them go (the panic chord).
    virtual void rearm() = 0;
    // Releases every key and lets the keyboards go for good; for quitting. Safe twice.
    virtual void shutdown() = 0;

signals:
    void statusChanged();
};
