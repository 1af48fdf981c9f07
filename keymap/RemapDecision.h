#pragma once

#include "keymap/ChatPause.h"
#include "keymap/KeyCombo.h"
#include "keymap/KeyPair.h"
#include "keymap/VirtualKeyCodes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The remapping decision and the values it decides on, plain C++. The person's side of Velmora
// builds the state (RemapState) from its window and the application in front; the keyboard
// broker's tap callback decides every key event on the last state it was sent.

struct SlotEntry {
    uint16_t slotKeyCode;
    uint16_t modifierWord;
    uint16_t targetKeyCode;

    bool operator==(const SlotEntry &) const = default;
};

using SlotTable = std::array<SlotEntry, 6>;
using SlotCombos = std::array<KeyCombo, 6>;

// Keypad keys for inventory slots 1 to 6: keypad 1, 2, 4, 5, 7, 8.
inline constexpr std::array<uint16_t, 6> SlotTargetKeyCodes = {83, 84, 86, 87, 89, 91};

inline constexpr std::u16string_view GameNamePrefix = u"Warcraft III";

// Empty recorders (code -1) become rows that match no key event.
SlotTable makeSlotTable(const SlotCombos &combos);

// Six empty slots, as makeSlotTable makes them of empty recorders.
constexpr SlotTable emptySlotTable() {
    SlotTable table{};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = {static_cast<uint16_t>(KeyCombo{}.code), 0, SlotTargetKeyCodes[i]};
    return table;
}

inline constexpr size_t MaxPairs = 64;

// The pairs that remap. Each is decided exactly like a slot, so it is held as a slot row whose
// target is the replacement's key code; rows past `count` are zero.
struct PairTable {
    std::array<SlotEntry, MaxPairs> rows{};
    size_t count = 0;

    std::span<const SlotEntry> entries() const { return {rows.data(), count}; }
    bool operator==(const PairTable &) const = default;
};

// Everything the decision reads besides the event: what the person's side sends the broker.
struct RemapState {
    bool remapSwitch = false;
    // The front application's name begins with GameNamePrefix.
    bool gameInFront = false;
    bool chatPauseEnabled = false;
    SlotTable slotTable = emptySlotTable();
    PairTable pairTable;

    bool operator==(const RemapState &) const = default;
};

// Four bytes with no padding, so it travels in a register.
struct RemapResult {
    uint16_t targetKeyCode = 0;
    bool keyDown = false;
    bool passThrough = true;

    static RemapResult pass() { return {}; }
    bool operator==(const RemapResult &) const = default;
};

// The complete rows in order, up to MaxPairs: a row without a key or a replacement, or whose
// replacement no keyboard has (it could not be typed), is left out.
PairTable makePairTable(std::span<const KeyPair> pairs);
bool isGameName(std::optional<std::u16string_view> frontProcessName);
// Slot rows or pair rows against an event already known to be a key event of the game: the
// last row that matches decides.
RemapResult matchEntries(uint32_t eventType, uint16_t keyCode, uint64_t modifierFlags,
                         std::span<const SlotEntry> entries);

// The decision for one event. It reads the event's values (keyEvent() -> std::pair<uint16_t,
// uint64_t>, key code and modifier flags) only for key events while remapping applies. The chat
// pause, when there is one, is fed with every such event, and what belongs to the chat passes.
// A slot that holds the key wins over a pair that holds it.
template <typename KeyEventValues>
RemapResult remapKeyEvent(const RemapState &state, uint32_t eventType, KeyEventValues &&keyEvent,
                          ChatPause *chatPause = nullptr) {
    if (!state.remapSwitch || !state.gameInFront) return RemapResult::pass();
    if (eventType != KeyDownEvent && eventType != KeyUpEvent) return RemapResult::pass();
    const auto [keyCode, modifierFlags] = keyEvent();
    if (chatPause && chatPause->feed(eventType, keyCode)) return RemapResult::pass();
    const RemapResult slot = matchEntries(eventType, keyCode, modifierFlags, state.slotTable);
    if (!slot.passThrough) return slot;
    return matchEntries(eventType, keyCode, modifierFlags, state.pairTable.entries());
}
