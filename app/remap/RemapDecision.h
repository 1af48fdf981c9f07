#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "remap/ChatPause.h"
#include "remap/KeyCombo.h"

// The remapping decision: pure, no Qt and no platform. Its inputs that cost a query are
// passed as callables and consulted only when the decision gets that far: the switch
// first, then the front process name, then the event type, and only then the event's key
// code and flags, the chat pause (when there is one) and the slot table.

struct SlotEntry {
    uint16_t slotKeyCode;
    uint16_t modifierWord;
    uint16_t targetKeyCode;
};

using SlotTable = std::array<SlotEntry, 6>;
using SlotCombos = std::array<KeyCombo, 6>;

// Keypad keys for inventory slots 1 to 6: keypad 1, 2, 4, 5, 7, 8.
inline constexpr std::array<uint16_t, 6> SlotTargetKeyCodes = {83, 84, 86, 87, 89, 91};

inline constexpr std::u16string_view GameNamePrefix = u"Warcraft III";

// Four bytes with no padding, so it travels in a register.
struct RemapResult {
    uint16_t targetKeyCode = 0;
    bool keyDown = false;
    bool passThrough = true;

    static RemapResult pass() { return {}; }
    bool operator==(const RemapResult &) const = default;
};

SlotTable makeSlotTable(const SlotCombos &combos);
bool isGameName(std::optional<std::u16string_view> frontProcessName);
// The slot decision for an event already known to be a key event of the game.
RemapResult matchSlots(uint32_t eventType, uint16_t keyCode, uint64_t modifierFlags,
                       const SlotTable &slots);

// frontProcessName() -> std::optional<std::u16string_view> (nullopt: no name);
// keyEvent() -> std::pair<uint16_t, uint64_t> (key code, modifier flags);
// slotTable() -> const SlotTable & (the six recorders' combinations at this moment);
// chatPause: fed with every key event of the game; what belongs to the chat passes.
template <typename FrontName, typename KeyEventValues, typename Slots>
RemapResult remapKeyEvent(bool remapSwitch, FrontName &&frontProcessName, uint32_t eventType,
                          KeyEventValues &&keyEvent, Slots &&slotTable,
                          ChatPause *chatPause = nullptr) {
    if (!remapSwitch) return RemapResult::pass();
    if (!isGameName(frontProcessName())) return RemapResult::pass();
    if (eventType != 10 && eventType != 11) return RemapResult::pass();
    const auto [keyCode, modifierFlags] = keyEvent();
    if (chatPause && chatPause->feed(eventType, keyCode)) return RemapResult::pass();
    return matchSlots(eventType, keyCode, modifierFlags, slotTable());
}
