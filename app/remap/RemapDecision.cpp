#include "remap/RemapDecision.h"

SlotTable makeSlotTable(const SlotCombos &combos) {
    SlotTable table{};
    for (size_t i = 0; i < table.size(); ++i) {
        table[i] = {static_cast<uint16_t>(combos[i].code), static_cast<uint16_t>(combos[i].flags),
                    SlotTargetKeyCodes[i]};
    }
    return table;
}

bool isGameName(std::optional<std::u16string_view> frontProcessName) {
    return frontProcessName && frontProcessName->starts_with(GameNamePrefix);
}

RemapResult matchSlots(uint32_t eventType, uint16_t keyCode, uint64_t modifierFlags,
                       const SlotTable &slots) {
    RemapResult result;
    // Every slot is tested and the last match wins; the modifier test is an OR on purpose,
    // so held modifiers neither select nor prevent a match.
    for (const SlotEntry &slot : slots) {
        if (slot.slotKeyCode == keyCode && (slot.modifierWord | modifierFlags) != 0) {
            result = {.targetKeyCode = slot.targetKeyCode,
                      .keyDown = eventType == 10,
                      .passThrough = false};
        }
    }
    return result;
}
