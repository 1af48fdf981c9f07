#include <gtest/gtest.h>

#include "keymap/ChatPause.h"

namespace {

constexpr uint32_t Down = 10;
constexpr uint32_t Up = 11;
constexpr uint16_t Enter = ChatPause::ReturnKeyCode;
constexpr uint16_t KeypadEnter = ChatPause::KeypadEnterKeyCode;
constexpr uint16_t Escape = EscapeKeyCode;
constexpr uint16_t Q = 12;

// The second Enter down is an auto-repeat of the first.
TEST(ChatPause, FollowsTheChatThroughASequenceOfKeys) {
    const struct {
        uint32_t type;
        uint16_t key;
        bool passes;
        bool pausedAfter;
    } steps[] = {
        {Down, Q, false, false},     {Up, Q, false, false},           {Down, Enter, true, true},
        {Down, Enter, true, true},   {Up, Enter, true, true},         {Down, Q, true, true},
        {Up, Q, true, true},         {Down, Enter, true, false},      {Up, Enter, true, false},
        {Down, Q, false, false},     {Down, KeypadEnter, true, true}, {Up, KeypadEnter, true, true},
        {Down, Escape, true, false}, {Up, Escape, false, false},      {Down, Escape, false, false},
    };
    ChatPause pause;
    pause.setEnabled(true);
    int n = 0;
    for (const auto &s : steps) {
        EXPECT_EQ(pause.feed(s.type, s.key), s.passes) << "step " << n;
        EXPECT_EQ(pause.isPaused(), s.pausedAfter) << "step " << n;
        ++n;
    }
}

}  // namespace
