#include "platform/linux/UinputSink.h"

#include "platform/linux/InputEvent.h"
#include "platform/linux/LibevdevKeyboardSource.h"
#include "tests/vm/EventNodeReader.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Needs /dev/uinput, so it runs in the test virtual machine; elsewhere it skips.
class UinputSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto created = UinputSink::create();
        if (!created) GTEST_SKIP() << created.failure().message.toStdString();
        sink = created.take();
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
    auto source = LibevdevKeyboardSource::open(sink->devnode());
    ASSERT_FALSE(source);
    EXPECT_EQ(source.failure().errorNumber, 0);
}

}  // namespace
