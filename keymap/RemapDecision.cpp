#include "keymap/RemapDecision.h"

#include "keymap/KeyCodeTable.h"

namespace {

SlotEntry entryFor(const KeyCombo &key, uint16_t target) {
    return {static_cast<uint16_t>(key.code), static_cast<uint16_t>(key.flags), target};
}

}  // namespace

SlotTable makeSlotTable(const SlotCombos &combos) {
    SlotTable table{};
    for (size_t i = 0; i < table.size(); ++i) table[i] = entryFor(combos[i], SlotTargetKeyCodes[i]);
    return table;
}

PairTable makePairTable(std::span<const KeyPair> pairs) {
    PairTable table;
    for (const KeyPair &pair : pairs) {
        if (table.count == MaxPairs) break;
        if (pair.key.code < 0 || pair.replacement.code < 0) continue;
        const auto target = static_cast<uint16_t>(pair.replacement.code);
        if (!KeyCodeTable::nativeFromVirtual(target)) continue;
        table.rows[table.count++] = entryFor(pair.key, target);
    }
    return table;
}

bool isGameName(std::optional<std::u16string_view> frontProcessName) {
    return frontProcessName && frontProcessName->starts_with(GameNamePrefix);
}

RemapResult matchEntries(uint32_t eventType, uint16_t keyCode, uint64_t modifierFlags,
                         std::span<const SlotEntry> entries) {
    RemapResult result;
    // Every row is tested and the last match wins; the modifier test is an OR on purpose,
    // so held modifiers neither select nor prevent a match.
    for (const SlotEntry &entry : entries) {
        if (entry.slotKeyCode == keyCode && (entry.modifierWord | modifierFlags) != 0) {
            result = {.targetKeyCode = entry.targetKeyCode,
                      .keyDown = eventType == KeyDownEvent,
                      .passThrough = false};
        }
    }
    return result;
}
