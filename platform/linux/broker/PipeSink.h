#pragma once

#include "platform/linux/broker/InputEventReader.h"
#include "platform/linux/broker/KeyboardSink.h"

// A virtual keyboard made of two pipes, for tests and benchmarks: what the tap emits is
// read from outputFd(); LED writes of "the system" are written to feedbackWriteFd().
class PipeSink final : public KeyboardSink {
public:
    PipeSink();
    ~PipeSink() override;

    int outputFd() const { return m_outputRead; }
    int feedbackWriteFd() const { return m_feedbackWrite; }

    int feedbackFd() const override { return m_feedbackRead; }
    bool writeEvents(std::span<const input_event> events) override;
    ReadStatus readFeedback(std::vector<input_event> &events) override;

private:
    int m_outputRead = -1;
    int m_outputWrite = -1;
    int m_feedbackRead = -1;
    int m_feedbackWrite = -1;
    InputEventReader m_reader;
};
