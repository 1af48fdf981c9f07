#pragma once

#include "platform/FrontProcessSource.h"

// A front application the test names, as a window manager would make one front.
class FakeFrontProcessSource : public FrontProcessSource {
public:
    Front front() const override { return m_name.isNull() ? Front::NoWindow : Front::Named; }
    const QString &frontProcessName() const override { return m_name; }
    bool isConnected() const override { return true; }
    void setWatching(bool watching) override { m_watching = watching; }
    bool isWatching() const { return m_watching; }
    void setFront(const QString &name) {
        m_name = name;
        emit frontProcessNameChanged(name);
    }

private:
    QString m_name;
    bool m_watching = true;
};
