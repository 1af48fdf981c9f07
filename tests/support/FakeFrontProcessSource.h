#pragma once

#include "platform/FrontProcessSource.h"

// A front application the test names, as a window manager would make one front.
class FakeFrontProcessSource : public FrontProcessSource {
public:
    const QString &frontProcessName() const override { return m_name; }
    bool isConnected() const override { return true; }
    void setFront(const QString &name) {
        m_name = name;
        emit frontProcessNameChanged(name);
    }

private:
    QString m_name;
};
