#pragma once

#include "keymap/RemapDecision.h"

#include <initializer_list>
#include <utility>
#include <vector>

// Empty recorders except for {slot, combo} pairs.
inline SlotCombos slotsWith(std::initializer_list<std::pair<int, KeyCombo>> filled) {
    SlotCombos combos{};
    for (const auto &[slot, combo] : filled) combos[size_t(slot - 1)] = combo;
    return combos;
}

// Remapping on, the game in front, these slots and pairs.
inline RemapState playing(const SlotCombos &combos, const std::vector<KeyPair> &pairs = {}) {
    RemapState state;
    state.remapSwitch = state.gameInFront = true;
    state.slotTable = makeSlotTable(combos);
    state.pairTable = makePairTable(pairs);
    return state;
}

// Q (virtual code 12) on slot 3, keypad 4.
inline RemapState qOnSlot3() { return playing(slotsWith({{3, {0, 12}}})); }
