#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/broker/EventCallback.h"
#include "platform/linux/broker/KeyboardEvent.h"
#include "platform/linux/broker/RemapHost.h"
#include "tests/keymap/PlayingState.h"

namespace {

constexpr uint16_t Q = 12;
constexpr uint16_t W = 13;
constexpr uint16_t Enter = ChatPause::ReturnKeyCode;
constexpr uint64_t EveryKeyEvent = 0x100;

// An incoming event that counts the reads of its fields.
class CountingEvent : public TapEvent {
public:
    explicit CountingEvent(uint16_t keyCode) : m_keyCode(keyCode) {}
    uint16_t keyCode() const override {
        ++reads;
        return m_keyCode;
    }
    uint64_t modifierFlags() const override {
        ++reads;
        return EveryKeyEvent;
    }
    mutable int reads = 0;

private:
    uint16_t m_keyCode;
};

class EventCallbackTest : public ::testing::Test {
protected:
    void SetUp() override { host.setState(qOnSlot3()); }

    // Sends a key event and describes what came out: "pass", "86 down", "86 up".
    std::string key(uint32_t type, uint16_t code) {
        CountingEvent event(code);
        TapEvent *out = eventCallback(nullptr, type, &event, &host);
        if (out == &event) return "pass";
        const std::unique_ptr<KeyboardEvent> made(static_cast<KeyboardEvent *>(out));
        return std::to_string(made->keyCode()) + (made->keyDown() ? " down" : " up");
    }

    RemapHost host;
};

// The event's fields are read only for key events while remapping applies.
TEST_F(EventCallbackTest, ReadsTheEventOnlyWhenItMayBeRemapped) {
    const struct {
        bool on;
        uint32_t type;
        int reads;
    } cases[] = {
        {false, TapEvent::KeyDown, 0},
        {true, TapEvent::TapDisabledByTimeout, 0},
        {true, TapEvent::KeyUp, 2},
    };
    for (const auto &c : cases) {
        RemapState state = qOnSlot3();
        state.remapSwitch = c.on;
        host.setState(state);
        CountingEvent event(W);
        EXPECT_EQ(eventCallback(nullptr, c.type, &event, &host), &event) << c.type;
        EXPECT_EQ(event.reads, c.reads) << c.type;
    }
}

// Which key becomes which is the decision's table; here, the event made and the quiet person.
TEST_F(EventCallbackTest, ASlotKeyBecomesItsKeypadKeyWhileThePersonsSideAnswers) {
    EXPECT_EQ(key(TapEvent::KeyUp, Q), "86 up");
    host.setPersonQuiet(true);
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "pass");
    host.setPersonQuiet(false);
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "86 down");
}

// How the chat opens and closes is the chat pause's table; here, that a slot key typed in the
// chat reaches it as typed, and that switching remapping on again closes a chat an earlier game
// left open.
TEST_F(EventCallbackTest, TheChatPausePassesWhatIsTypedInTheChat) {
    RemapState state = qOnSlot3();
    state.chatPauseEnabled = true;
    host.setState(state);
    EXPECT_EQ(key(TapEvent::KeyDown, Enter), "pass");
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "pass");
    for (bool on : {false, true}) {
        state.remapSwitch = on;
        EXPECT_EQ(host.setState(state), on) << "switched on";
    }
    EXPECT_FALSE(host.chatPause().isPaused());
}

}  // namespace
