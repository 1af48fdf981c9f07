#pragma once

#include "platform/linux/InputEventReader.h"
#include "platform/linux/KeyboardSource.h"

#include <map>

// A keyboard made of a pipe, for tests and benchmarks: records written to writeFd() are
// read as the keyboard's events; closing the write end is an unplug. Key state, grab
// and LEDs are plain fields the test sets and inspects.
class PipeKeyboardSource final : public KeyboardSource {
public:
    explicit PipeKeyboardSource(QString name = QStringLiteral("pipe keyboard"));
    ~PipeKeyboardSource() override;

    int writeFd() const { return m_writeFd; }
    void closeWriteEnd();
    void setKeysDown(const KeyBits &keys) { m_keysDown = keys; }
    bool isGrabbed() const { return m_grabbed; }
    int grabCount() const { return m_grabCount; }

    int fd() const override { return m_readFd; }
    QString name() const override { return m_name; }
    bool isPresent() const override;
    bool grab() override;
    void ungrab() override { m_grabbed = false; }
    ReadStatus readEvents(std::vector<input_event> &events) override;
    KeyBits keysDown() const override { return m_keysDown; }
    bool ledOn(uint16_t led) const override;
    void setLed(uint16_t led, bool on) override { m_leds[led] = on; }

private:
    QString m_name;
    int m_readFd = -1;
    int m_writeFd = -1;
    InputEventReader m_reader;
    KeyBits m_keysDown;
    std::map<uint16_t, bool> m_leds;
    bool m_grabbed = false;
    int m_grabCount = 0;
};
