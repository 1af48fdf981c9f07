#pragma once

#include <linux/input.h>

#include <bitset>
#include <span>
#include <string>
#include <utility>
#include <vector>

// Follows what a virtual keyboard would make of the tap's output: which keys are down,
// and whether any event made no sense (a press of a key already down, a release or
// repeat of a key that is up, events left outside a frame).
class OutputTracker {
public:
    void consume(std::span<const input_event> events);
    // Reads everything waiting on a non-blocking fd.
    void drain(int fd);

    bool anyKeyDown() const { return m_down.any(); }
    bool isDown(uint16_t code) const { return m_down.test(code); }
    bool everPressed(uint16_t code) const { return m_everPressed.test(code); }
    size_t keyEventCount() const { return m_keyEventCount; }
    const std::vector<std::string> &faults() const { return m_faults; }
    // Key events seen so far as (code, value), and everything as it came.
    const std::vector<std::pair<uint16_t, int32_t>> &keys() const { return m_keys; }
    const std::vector<input_event> &events() const { return m_events; }
    bool framed() const { return m_openFrame == 0; }
    void clear();
    // For long runs: check everything but keep no history.
    void keepHistory(bool keep) { m_keepEvents = keep; }

private:
    std::bitset<KEY_CNT> m_down;
    std::bitset<KEY_CNT> m_everPressed;
    size_t m_keyEventCount = 0;
    std::vector<std::string> m_faults;
    std::vector<std::pair<uint16_t, int32_t>> m_keys;
    std::vector<input_event> m_events;
    size_t m_openFrame = 0;
    bool m_keepEvents = true;
};
