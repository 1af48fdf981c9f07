#include "platform/linux/UinputSink.h"

#include "platform/linux/InputEvent.h"
#include "platform/linux/broker/LinuxBrokerDevices.h"
#include "tests/vm/EventNodeReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The virtual keyboard as the broker makes it and the tap writes to it. Needs /dev/uinput, so
// it runs in the test virtual machine; elsewhere it skips.
class UinputSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        BrokerDevices::Created created = devices.createVirtualKeyboard();
        if (!created.fd)
            GTEST_SKIP() << UinputSink::creationFailure(created.errorNumber).message.toStdString();
        sink = UinputSink::adopt(std::move(created.fd));
        ASSERT_FALSE(sink->devnode().isEmpty());
        reader = std::make_unique<EventNodeReader>(sink->devnode());
        ASSERT_TRUE(reader->isOpen());
    }

    std::vector<input_event> readBack() {
        reader->tracker().clear();
        reader->drain();
        std::vector<input_event> events;
        for (const input_event &e : reader->tracker().events())
            // LED writes of the console's keyboard handler may come in between.
            if (e.type == EV_KEY || e.type == EV_REL) events.push_back(e);
        return events;
    }

    LinuxBrokerDevices devices;
    std::unique_ptr<UinputSink> sink;
    std::unique_ptr<EventNodeReader> reader;
};
TEST_F(UinputSinkTest, WhatIsWrittenIsWhatProgramsRead) {
    struct Case {
        const char *name;
        uint16_t type;
        uint16_t code;
        int32_t value;
    };
    const Case cases[] = {
        {"keypad key press", EV_KEY, KEY_KP4, 1},  {"keypad key repeat", EV_KEY, KEY_KP4, 2},
        {"NumLock press", EV_KEY, KEY_NUMLOCK, 1}, {"pointer motion", EV_REL, REL_X, -3},
        {"wheel", EV_REL, REL_WHEEL, 1},           {"mouse button", EV_KEY, BTN_LEFT, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const input_event frame[] = {makeInputEvent(c.type, c.code, c.value),
                                     makeInputEvent(EV_SYN, SYN_REPORT, 0)};
        ASSERT_TRUE(sink->writeEvents(frame));
        const auto events = readBack();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].type, c.type);
        EXPECT_EQ(events[0].code, c.code);
        EXPECT_EQ(events[0].value, c.value);
    }
}

TEST_F(UinputSinkTest, ReleaseAllKeysLiftsWhatIsDown) {
    const input_event frame[] = {makeInputEvent(EV_KEY, KEY_KP4, 1),
                                 makeInputEvent(EV_KEY, KEY_LEFTSHIFT, 1),
                                 makeInputEvent(EV_SYN, SYN_REPORT, 0)};
    ASSERT_TRUE(sink->writeEvents(frame));
    ASSERT_TRUE(sink->releaseAllKeys());
    reader->drain();
    EXPECT_TRUE(reader->tracker().everPressed(KEY_KP4));
    EXPECT_FALSE(reader->tracker().anyKeyDown());
    EXPECT_TRUE(reader->tracker().faults().empty());
}

TEST_F(UinputSinkTest, IsNeverTakenForAPhysicalKeyboard) {
    const LinuxBrokerDevices::Attempt attempt =
        LinuxBrokerDevices::openKeyboard(sink->devnode().toStdString());
    EXPECT_FALSE(attempt.keyboard);
    EXPECT_EQ(attempt.errorNumber, 0);
}

}  // namespace
