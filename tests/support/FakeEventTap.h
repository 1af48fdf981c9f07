#pragma once

#include "platform/EventTap.h"

// A tap that grabs nothing and keeps what the application asks of it.
class FakeEventTap : public EventTap {
public:
    void setRemapState(const RemapState &sent) override { state = sent; }
    QString statusText() const override { return QStringLiteral("Fake tap"); }
    bool chatPaused() const override { return paused; }
    void shutdown() override { ++shutDown; }
    // As the broker reports the chat opening or closing.
    void setChatPaused(bool now) {
        paused = now;
        emit statusChanged();
    }

    RemapState state;
    bool paused = false;
    int shutDown = 0;
};
