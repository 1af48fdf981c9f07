#pragma once

#include "tests/platform/OutputTracker.h"

#include <QString>

#include <cstdint>

// Reads an input device node the way any program of the system would (not grabbing it),
// and follows what it sees with an OutputTracker.
class EventNodeReader {
public:
    explicit EventNodeReader(const QString &node);
    ~EventNodeReader();
    EventNodeReader(const EventNodeReader &) = delete;
    EventNodeReader &operator=(const EventNodeReader &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Reads whatever is waiting.
    void drain() { m_tracker.drain(m_fd); }
    OutputTracker &tracker() { return m_tracker; }
    // Takes the device for itself; false (EBUSY) when someone else has it.
    bool tryGrab();

    // The first /dev/input/eventN whose device bears this name and is not `except`.
    static QString nodeNamed(const QString &name, const QString &except = {});
    static bool ledOn(const QString &node, uint16_t led);

private:
    int m_fd = -1;
    OutputTracker m_tracker;
};
