#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "remap/RemapDecision.h"

namespace {

constexpr uint16_t Q = 12;
constexpr uint16_t W = 13;
constexpr uint16_t A = 0;
constexpr uint64_t Shift = 1ull << 17;
constexpr uint64_t Command = 1ull << 20;
constexpr uint64_t EveryKeyEvent = 0x100;

// Empty recorders except for {slot, combo} pairs.
SlotCombos slotsWith(std::initializer_list<std::pair<int, KeyCombo>> filled) {
    SlotCombos combos{};
    for (const auto &[slot, combo] : filled) combos[slot - 1] = combo;
    return combos;
}

RemapResult to(uint16_t target, bool keyDown) {
    return {.targetKeyCode = target, .keyDown = keyDown, .passThrough = false};
}

struct DecisionCase {
    const char *what;
    bool on;
    std::optional<std::u16string> name;
    uint32_t type;
    uint16_t keyCode;
    uint64_t flags;
    SlotCombos slots;
    RemapResult expected;
};

TEST(RemapKeyEvent, DecidesEveryCaseOfSwitchNameTypeAndSlots) {
    const std::u16string game = u"Warcraft III";
    const SlotCombos qOnSlot3 = slotsWith({{3, {0, Q}}});
    const DecisionCase cases[] = {
        {"switch off", false, game, 10, Q, EveryKeyEvent, qOnSlot3, RemapResult::pass()},
        {"exact game name", true, game, 10, Q, EveryKeyEvent, qOnSlot3, to(86, true)},
        {"longer name", true, u"Warcraft III.exe", 10, Q, EveryKeyEvent, qOnSlot3, to(86, true)},
        {"other letter case", true, u"warcraft iii", 10, Q, EveryKeyEvent, qOnSlot3,
         RemapResult::pass()},
        {"name only contains it", true, u"The Warcraft III", 10, Q, EveryKeyEvent, qOnSlot3,
         RemapResult::pass()},
        {"shorter than the prefix", true, u"Warcraft II", 10, Q, EveryKeyEvent, qOnSlot3,
         RemapResult::pass()},
        {"no front process name", true, std::nullopt, 10, Q, EveryKeyEvent, qOnSlot3,
         RemapResult::pass()},
        {"release", true, game, 11, Q, EveryKeyEvent, qOnSlot3, to(86, false)},
        {"Shift held", true, game, 10, Q, Shift | EveryKeyEvent, qOnSlot3, to(86, true)},
        {"recorded with Command, pressed bare", true, game, 10, Q, EveryKeyEvent,
         slotsWith({{3, {Command, Q}}}), to(86, true)},
        {"last of slots 2 and 5 wins", true, game, 10, Q, EveryKeyEvent,
         slotsWith({{2, {0, Q}}, {5, {0, Q}}}), to(89, true)},
        {"slot 1 and slot 6", true, game, 11, Q, EveryKeyEvent,
         slotsWith({{1, {0, Q}}, {6, {0, Q}}}), to(91, false)},
        {"every slot has its keypad key", true, game, 10, A, EveryKeyEvent,
         slotsWith({{4, {0, A}}}), to(87, true)},
        {"key no slot holds", true, game, 10, W, EveryKeyEvent, qOnSlot3, RemapResult::pass()},
        {"flags-changed event", true, game, 12, Q, EveryKeyEvent, qOnSlot3, RemapResult::pass()},
        {"tap disabled notice", true, game, 0xFFFFFFFE, Q, EveryKeyEvent, qOnSlot3,
         RemapResult::pass()},
        {"no modifier word, no event flags", true, game, 10, Q, 0, qOnSlot3, RemapResult::pass()},
        {"modifier word alone lets it match", true, game, 10, Q, 0, slotsWith({{3, {0x2, Q}}}),
         to(86, true)},
        {"empty slots never fire (code -1 is not key 0)", true, game, 10, A, EveryKeyEvent,
         SlotCombos{}, RemapResult::pass()},
        {"only the low 16 bits of the code count", true, game, 10, Q, EveryKeyEvent,
         slotsWith({{3, {0, 0x10000 + Q}}}), to(86, true)},
    };
    for (const DecisionCase &c : cases) {
        const RemapResult result = remapKeyEvent(
            c.on,
            [&]() -> std::optional<std::u16string_view> {
                if (!c.name) return std::nullopt;
                return std::u16string_view(*c.name);
            },
            c.type, [&] { return std::pair(c.keyCode, c.flags); },
            [table = makeSlotTable(c.slots)]() -> const SlotTable & { return table; });
        EXPECT_EQ(result, c.expected) << c.what;
    }
}

}  // namespace
