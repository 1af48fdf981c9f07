#pragma once

#include "keymap/RemapDecision.h"

#include <QObject>
#include <QString>

// The keyboard event tap as the application sees it: it runs on its own once made, decides
// every key event on the remapping state the application last set, and says in plain words how
// it is doing. Owned by the application; lives on the main thread.
class EventTap : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Switching remapping on also takes back keyboards the panic chord let go.
    virtual void setRemapState(const RemapState &state) = 0;
    virtual QString statusText() const = 0;
    // The game's chat is open: keys pass as typed until it closes.
    virtual bool chatPaused() const = 0;
    // Releases every key and lets the keyboards go for good; for quitting. Safe twice.
    virtual void shutdown() = 0;

signals:
    void statusChanged();
};
