#pragma once

#include "platform/KeyboardEvent.h"
#include "remap/EventTapHost.h"

// The application as far as the tap callback can tell, with values a test or benchmark
// sets: the switch, the front application and the six slots.
class FixedTapHost : public EventTapHost {
public:
    FixedTapHost() { setSlots({}); }

    bool on = true;
    QString frontName = QStringLiteral("Warcraft III");
    void setSlots(const SlotCombos &combos) { m_slots = makeSlotTable(combos); }

    bool remapSwitch() const override { return on; }
    const QString &frontProcessName() const override { return frontName; }
    const SlotTable &slotTable() const override { return m_slots; }
    TapEvent *createKeyboardEvent(uint16_t virtualKeyCode, bool keyDown) override {
        return new KeyboardEvent(virtualKeyCode, keyDown);
    }

private:
    SlotTable m_slots;
};
