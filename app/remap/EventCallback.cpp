#include "EventCallback.h"

#include "EventTapHost.h"
#include "RemapDecision.h"
#include "TapEvent.h"

EventTapHost *selfPoint = nullptr;

TapEvent *eventCallback(void *, uint32_t type, TapEvent *event, void *) {
    EventTapHost &host = *selfPoint;
    QString name;
    const RemapResult result = remapKeyEvent(
        host.remapSwitch(),
        [&]() -> std::optional<std::u16string_view> {
            name = host.frontProcessName();
            if (name.isNull()) return std::nullopt;
            return std::u16string_view(reinterpret_cast<const char16_t *>(name.utf16()),
                                       size_t(name.size()));
        },
        type, [&] { return std::pair(event->keyCode(), event->modifierFlags()); },
        [&] {
            SlotCombos combos;
            for (int slot = 1; slot <= 6; ++slot) combos[slot - 1] = host.slotKeyCombo(slot);
            return combos;
        });
    if (result.passThrough) return event;
    return host.createKeyboardEvent(result.targetKeyCode, result.keyDown);
}
