#pragma once

#include "platform/EventTap.h"

// A tap that grabs nothing and counts what the application asks of it.
class FakeEventTap : public EventTap {
public:
    QString statusText() const override { return QStringLiteral("Fake tap"); }
    void rearm() override { ++rearmed; }
    void shutdown() override { ++shutDown; }

    int rearmed = 0;
    int shutDown = 0;
};
