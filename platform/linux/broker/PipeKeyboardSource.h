#pragma once

#include "platform/linux/broker/InputEventReader.h"
#include "platform/linux/broker/KeyboardSource.h"

#include <string>

#include <atomic>
#include <map>

// A keyboard made of a pipe, for tests and benchmarks: records written to writeFd() are
// read as the keyboard's events; closing the write end is an unplug. Key state, grab
// and LEDs are plain fields the test sets and inspects.
class PipeKeyboardSource final : public KeyboardSource {
public:
    explicit PipeKeyboardSource(uint64_t identity = 0, bool hasPointer = false);
    ~PipeKeyboardSource() override;

    int writeFd() const { return m_writeFd; }
    void closeWriteEnd();
    void setKeysDown(const KeyBits &keys) { m_keysDown = keys; }
    bool isGrabbed() const { return m_grabbed; }

    int fd() const override { return m_readFd; }
    std::string name() const override { return "pipe keyboard " + std::to_string(m_identity); }
    uint64_t identity() const override { return m_identity; }
    bool hasPointer() const override { return m_hasPointer; }
    bool isPresent() const override;
    bool grab() override;
    void ungrab() override { m_grabbed = false; }
    ReadStatus readEvents(std::vector<input_event> &events) override;
    KeyBits keysDown() const override { return m_keysDown; }
    bool ledOn(uint16_t led) const override;
    void setLed(uint16_t led, bool on) override { m_leds[led] = on; }

private:
    uint64_t m_identity;
    bool m_hasPointer;
    int m_readFd = -1;
    int m_writeFd = -1;
    InputEventReader m_reader;
    KeyBits m_keysDown;
    std::map<uint16_t, bool> m_leds;
    // Read by tests on another thread than the tap's.
    std::atomic<bool> m_grabbed = false;
};
