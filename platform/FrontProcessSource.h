#pragma once

#include <QObject>
#include <QString>

// Tells the name of the process whose window is in front. Implementations keep the
// name current on their own so that asking is cheap; a null string means no name. The
// reference stays valid until control returns to the event loop. Lives on the main thread.
class FrontProcessSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual const QString &frontProcessName() const = 0;
    // False once the source can no longer tell (the display server went away).
    virtual bool isConnected() const = 0;

signals:
    void frontProcessNameChanged(const QString &name);
    // The display server went away; the name is null from then on.
    void connectionLost();
};
