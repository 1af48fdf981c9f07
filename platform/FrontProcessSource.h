#pragma once

#include <QObject>
#include <QString>

// Tells what is in front: no window, a window whose process cannot be told, or the name of
// the process that owns it. Implementations keep this current on their own so that asking is
// cheap; the name's reference stays valid until control returns to the event loop. A source
// watches from its start until told that nobody needs it. Lives on the main thread.
class FrontProcessSource : public QObject {
    Q_OBJECT
public:
    enum class Front {
        // Not watching (nobody needs the name), or the display server went away.
        Unwatched,
        // No application window in front: none has the focus, or one the source cannot see
        // (a native Wayland window) has it.
        NoWindow,
        // A window whose process cannot be told, or is still being looked up.
        UnknownProcess,
        // frontProcessName() names the process.
        Named,
    };

    using QObject::QObject;
    virtual Front front() const = 0;
    // Null unless front() is Named.
    virtual const QString &frontProcessName() const = 0;
    // False once the source can no longer tell (the display server went away).
    virtual bool isConnected() const = 0;
    // Whether anybody needs to know. A source that is not watching reports Unwatched and
    // costs nothing: no timer, no events from the display server.
    virtual void setWatching(bool watching) = 0;

signals:
    // front() or the name changed; name is frontProcessName().
    void frontProcessNameChanged(const QString &name);
    // The display server went away; the source reports Unwatched from then on.
    void connectionLost();
};
