#include "tests/platform/OutputTracker.h"

#include <unistd.h>
#include <cerrno>

void OutputTracker::consume(std::span<const input_event> events) {
    for (const input_event &event : events) {
        if (m_keepEvents) m_events.push_back(event);
        if (event.type == EV_SYN && event.code == SYN_DROPPED) m_faults.push_back("events lost");
        if (event.type == EV_SYN && event.code == SYN_REPORT) {
            m_openFrame = 0;
            continue;
        }
        ++m_openFrame;
        if (event.type != EV_KEY) continue;
        if (m_keepEvents) m_keys.emplace_back(event.code, event.value);
        ++m_keyEventCount;
        if (event.value == 1) m_everPressed.set(event.code);
        const bool down = m_down.test(event.code);
        const std::string key = std::to_string(event.code);
        if (event.value == 1 && down) m_faults.push_back("press of held key " + key);
        if (event.value == 0 && !down) m_faults.push_back("release of free key " + key);
        if (event.value == 2 && !down) m_faults.push_back("repeat of free key " + key);
        if (event.value != 2) m_down.set(event.code, event.value == 1);
    }
}

void OutputTracker::drain(int fd) {
    input_event buffer[512];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof(buffer))) > 0)
        consume(std::span(buffer, size_t(got) / sizeof(input_event)));
}

void OutputTracker::clear() {
    m_keys.clear();
    m_events.clear();
}
