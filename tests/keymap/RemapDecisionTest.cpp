#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tests/keymap/PlayingState.h"

namespace {

constexpr uint16_t Q = 12;
constexpr uint16_t W = 13;
constexpr uint16_t A = 0;
constexpr uint16_t B = 11;
constexpr uint64_t Shift = 1ull << 17;
constexpr uint64_t Command = 1ull << 20;
constexpr uint64_t EveryKeyEvent = 0x100;

RemapResult to(uint16_t target, bool keyDown) {
    return {.targetKeyCode = target, .keyDown = keyDown, .passThrough = false};
}

TEST(RemapKeyEvent, DecidesEveryCaseOfSwitchGameTypeSlotsAndPairs) {
    const RemapState qOnSlot3 = ::qOnSlot3();
    RemapState off = qOnSlot3, elsewhere = qOnSlot3;
    off.remapSwitch = false;
    elsewhere.gameInFront = false;
    const struct {
        const char *what;
        RemapState state;
        uint32_t type;
        uint16_t keyCode;
        uint64_t flags;
        RemapResult expected;
    } cases[] = {
        {"switch off", off, 10, Q, EveryKeyEvent, RemapResult::pass()},
        {"game not in front", elsewhere, 10, Q, EveryKeyEvent, RemapResult::pass()},
        {"slot key", qOnSlot3, 10, Q, EveryKeyEvent, to(86, true)},
        {"release", qOnSlot3, 11, Q, EveryKeyEvent, to(86, false)},
        {"Shift held", qOnSlot3, 10, Q, Shift | EveryKeyEvent, to(86, true)},
        {"recorded with Command, pressed bare", playing(slotsWith({{3, {Command, Q}}})), 10, Q,
         EveryKeyEvent, to(86, true)},
        {"last of slots 2 and 5 wins", playing(slotsWith({{2, {0, Q}}, {5, {0, Q}}})), 10, Q,
         EveryKeyEvent, to(89, true)},
        {"slot 1 and slot 6", playing(slotsWith({{1, {0, Q}}, {6, {0, Q}}})), 11, Q, EveryKeyEvent,
         to(91, false)},
        {"key no slot holds", qOnSlot3, 10, W, EveryKeyEvent, RemapResult::pass()},
        {"flags-changed event", qOnSlot3, 12, Q, EveryKeyEvent, RemapResult::pass()},
        {"tap disabled notice", qOnSlot3, 0xFFFFFFFE, Q, EveryKeyEvent, RemapResult::pass()},
        {"no modifier word, no event flags", qOnSlot3, 10, Q, 0, RemapResult::pass()},
        {"modifier word alone lets it match", playing(slotsWith({{3, {0x2, Q}}})), 10, Q, 0,
         to(86, true)},
        {"empty slots never fire (code -1 is not key 0)", playing({}), 10, A, EveryKeyEvent,
         RemapResult::pass()},
        {"only the low 16 bits of the code count", playing(slotsWith({{3, {0, 0x10000 + Q}}})), 10,
         Q, EveryKeyEvent, to(86, true)},
        {"a pair", playing({}, {{{0, A}, {0, B}}}), 11, A, EveryKeyEvent, to(B, false)},
        {"a pair's replacement is its key alone", playing({}, {{{Shift, A}, {Command, B}}}), 10, A,
         EveryKeyEvent, to(B, true)},
        {"a pair under the slots' modifier rule", playing({}, {{{0, A}, {0, B}}}), 10, A, 0,
         RemapResult::pass()},
        {"the last of two pairs wins", playing({}, {{{0, A}, {0, B}}, {{0, A}, {0, W}}}), 10, A,
         EveryKeyEvent, to(W, true)},
        {"a slot wins over a pair", playing(slotsWith({{3, {0, Q}}}), {{{0, Q}, {0, B}}}), 10, Q,
         EveryKeyEvent, to(86, true)},
    };
    for (const auto &c : cases) {
        const RemapResult result =
            remapKeyEvent(c.state, c.type, [&] { return std::pair(c.keyCode, c.flags); });
        EXPECT_EQ(result, c.expected) << c.what;
    }
    // Slots 1 to 6 are keypad 1, 2, 4, 5, 7 and 8.
    const uint16_t keypad[] = {83, 84, 86, 87, 89, 91};
    for (int slot = 1; slot <= 6; ++slot) {
        const auto a = [] { return std::pair(A, EveryKeyEvent); };
        EXPECT_EQ(remapKeyEvent(playing(slotsWith({{slot, {0, A}}})), 10, a),
                  to(keypad[slot - 1], true))
            << "slot " << slot;
    }
}

TEST(RemapKeyEvent, TheGameIsAnyNameBeginningWithItsOwn) {
    const struct {
        std::optional<std::u16string> name;
        bool game;
    } cases[] = {
        {u"Warcraft III", true},      {u"Warcraft III.exe", true}, {u"warcraft iii", false},
        {u"The Warcraft III", false}, {u"Warcraft II", false},     {std::nullopt, false},
    };
    for (const auto &c : cases) {
        const auto name = c.name ? std::optional<std::u16string_view>(*c.name) : std::nullopt;
        EXPECT_EQ(isGameName(name), c.game);
    }
}

TEST(RemapKeyEvent, OnlyCompleteTypeablePairsAreTakenUpToTheTablesSize) {
    std::vector<KeyPair> rows = {
        {{0, A}, {}},         // no replacement
        {{}, {0, B}},         // no key
        {{0, A}, {0, 0x7F}},  // a replacement no keyboard has
        {{0x2, A}, {0x4, B}},
    };
    const PairTable table = makePairTable(rows);
    ASSERT_EQ(table.count, 1u);
    EXPECT_EQ(table.rows[0], (SlotEntry{A, 0x2, B}));
    rows.assign(MaxPairs + 5, KeyPair{{0, A}, {0, B}});
    EXPECT_EQ(makePairTable(rows).count, MaxPairs);
}

}  // namespace
