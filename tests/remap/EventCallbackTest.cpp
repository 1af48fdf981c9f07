#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/KeyboardEvent.h"
#include "remap/ChatPause.h"
#include "remap/EventCallback.h"
#include "remap/EventTapHost.h"

namespace {

using Log = std::vector<std::string>;

constexpr uint16_t Q = 12;
constexpr uint16_t W = 13;
constexpr uint64_t EveryKeyEvent = 0x100;

// An incoming event that notes every field read.
class LoggingEvent : public TapEvent {
public:
    LoggingEvent(Log &log, uint16_t keyCode) : m_log(log), m_keyCode(keyCode) {}
    uint16_t keyCode() const override {
        m_log.push_back("keyCode");
        return m_keyCode;
    }
    uint64_t modifierFlags() const override {
        m_log.push_back("flags");
        return EveryKeyEvent;
    }

private:
    Log &m_log;
    uint16_t m_keyCode;
};

// The application as the callback sees it, noting every query; created events are kept
// here, as the event system would own them.
class FakeHost : public EventTapHost {
public:
    bool remapSwitch() const override {
        log.push_back("switch");
        return on;
    }
    const QString &frontProcessName() const override {
        log.push_back("front");
        return front;
    }
    const SlotTable &slotTable() const override {
        log.push_back("slots");
        table = makeSlotTable(combos);
        return table;
    }
    ChatPause *chatPause() override { return withChatPause ? &pause : nullptr; }
    void chatPauseChanged() override { log.push_back(pause.isPaused() ? "paused" : "resumed"); }
    TapEvent *createKeyboardEvent(uint16_t code, bool keyDown) override {
        log.push_back("create");
        if (!canCreate) return nullptr;
        created.push_back(std::make_unique<KeyboardEvent>(code, keyDown));
        return created.back().get();
    }

    mutable Log log;
    bool on = true;
    QString front = QStringLiteral("Warcraft III");
    SlotCombos combos{KeyCombo{}, KeyCombo{}, KeyCombo{0, Q}};  // Q on slot 3
    mutable SlotTable table{};
    bool canCreate = true;
    bool withChatPause = false;
    ChatPause pause;
    std::vector<std::unique_ptr<KeyboardEvent>> created;
};

class EventCallbackTest : public ::testing::Test {
protected:
    void SetUp() override { selfPoint = &host; }
    void TearDown() override { selfPoint = nullptr; }

    // Sends a key event and describes what came out: "pass", "drop", "86 down", "86 up".
    std::string key(uint32_t type, uint16_t code) {
        LoggingEvent event(host.log, code);
        TapEvent *out = eventCallback(nullptr, type, &event, nullptr);
        if (out == &event) return "pass";
        if (out == nullptr) return "drop";
        const auto *made = static_cast<KeyboardEvent *>(out);
        return std::to_string(made->keyCode()) + (made->keyDown() ? " down" : " up");
    }

    FakeHost host;
};

TEST_F(EventCallbackTest, QueriesOnlyAsFarAsTheDecisionGets) {
    const Log slotReads = {"slots"};
    auto then = [](Log head, const Log &tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const struct {
        const char *what;
        bool on;
        QString front;
        uint32_t type;
        uint16_t code;
        Log expected;
    } cases[] = {
        {"switch off", false, QStringLiteral("Warcraft III"), TapEvent::KeyDown, Q, {"switch"}},
        {"other front process",
         true,
         QStringLiteral("xterm"),
         TapEvent::KeyDown,
         Q,
         {"switch", "front"}},
        {"no front process", true, QString(), TapEvent::KeyDown, Q, {"switch", "front"}},
        {"not a key event",
         true,
         QStringLiteral("Warcraft III"),
         TapEvent::TapDisabledByTimeout,
         Q,
         {"switch", "front"}},
        {"key no slot holds", true, QStringLiteral("Warcraft III"), TapEvent::KeyDown, W,
         then({"switch", "front", "keyCode", "flags"}, slotReads)},
        {"slot key", true, QStringLiteral("Warcraft III"), TapEvent::KeyDown, Q,
         then(then({"switch", "front", "keyCode", "flags"}, slotReads), {"create"})},
        {"slot key release", true, QStringLiteral("Warcraft III"), TapEvent::KeyUp, Q,
         then(then({"switch", "front", "keyCode", "flags"}, slotReads), {"create"})},
    };
    for (const auto &c : cases) {
        FakeHost fresh;
        fresh.on = c.on;
        fresh.front = c.front;
        selfPoint = &fresh;
        LoggingEvent event(fresh.log, c.code);
        eventCallback(nullptr, c.type, &event, nullptr);
        EXPECT_EQ(fresh.log, c.expected) << c.what;
    }
}

TEST_F(EventCallbackTest, PressRepeatAndReleaseOfASlotKeyBecomeTheKeypadKey) {
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "86 down");
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "86 down") << "auto-repeat";
    EXPECT_EQ(key(TapEvent::KeyDown, W), "pass") << "other keys pass while Q is held";
    EXPECT_EQ(key(TapEvent::KeyUp, W), "pass");
    EXPECT_EQ(key(TapEvent::KeyUp, Q), "86 up");
}

TEST_F(EventCallbackTest, EachEventIsDecidedAfresh) {
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "86 down");
    host.on = false;
    // The release passes as the key typed; the tap releases the keypad key it emitted.
    EXPECT_EQ(key(TapEvent::KeyUp, Q), "pass");
    host.on = true;
    std::swap(host.combos[2], host.combos[5]);
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "91 down") << "a changed slot counts at once";
}

TEST_F(EventCallbackTest, AKeyIsDroppedWhenNoReplacementCanBeMade) {
    host.canCreate = false;
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "drop");
}

// Typing in the game's chat: Enter, letters, Enter. The letters reach the chat as typed, the
// host hears of each change once, and remapping resumes after the chat.
TEST_F(EventCallbackTest, TheChatPausePassesWhatIsTypedInTheChat) {
    constexpr uint16_t Enter = ChatPause::ReturnKeyCode;
    host.withChatPause = true;
    host.pause.setEnabled(true);
    const struct {
        uint32_t type;
        uint16_t code;
        const char *out;
    } steps[] = {
        {TapEvent::KeyDown, Q, "86 down"},  {TapEvent::KeyUp, Q, "86 up"},
        {TapEvent::KeyDown, Enter, "pass"}, {TapEvent::KeyUp, Enter, "pass"},
        {TapEvent::KeyDown, Q, "pass"},     {TapEvent::KeyUp, Q, "pass"},
        {TapEvent::KeyDown, W, "pass"},     {TapEvent::KeyDown, Enter, "pass"},
        {TapEvent::KeyDown, Q, "86 down"},
    };
    for (const auto &s : steps) EXPECT_EQ(key(s.type, s.code), s.out) << s.code;
    EXPECT_EQ(std::ranges::count(host.log, "paused"), 1);
    EXPECT_EQ(std::ranges::count(host.log, "resumed"), 1);
    host.front = QStringLiteral("xterm");
    EXPECT_EQ(key(TapEvent::KeyDown, Enter), "pass");
    EXPECT_FALSE(host.pause.isPaused()) << "Enter outside the game opens no chat";
}

TEST_F(EventCallbackTest, NoApplicationYetPassesEverything) {
    selfPoint = nullptr;
    EXPECT_EQ(key(TapEvent::KeyDown, Q), "pass");
    EXPECT_TRUE(host.log.empty());
}

}  // namespace
