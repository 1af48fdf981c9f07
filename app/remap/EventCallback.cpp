#include "EventCallback.h"

#include "EventTapHost.h"
#include "RemapDecision.h"
#include "TapEvent.h"

EventTapHost *selfPoint = nullptr;

namespace {

bool isKeyEvent(uint32_t type) {
    return type == TapEvent::KeyDown || type == TapEvent::KeyUp;
}

// The replacement for `event`, or `event` itself when none can be made.
TapEvent *replacement(EventTapHost &host, TapEvent *event, uint16_t targetKeyCode, bool keyDown) {
    TapEvent *created = host.createKeyboardEvent(targetKeyCode, keyDown);
    return created ? created : event;
}

// A repeat or release of a key whose press went out as a keypad key.
TapEvent *followRemappedPress(EventTapHost &host, uint32_t type, TapEvent *event, uint16_t keyCode,
                              uint16_t targetKeyCode) {
    const bool keyDown = type == TapEvent::KeyDown;
    if (!keyDown) host.remappedPresses().forget(keyCode);
    return replacement(host, event, targetKeyCode, keyDown);
}

// `keyCode` receives the event's key code when the decision got far enough to read it.
RemapResult decide(EventTapHost &host, uint32_t type, TapEvent *event, uint16_t &keyCode) {
    QString name;
    return remapKeyEvent(
        host.remapSwitch(),
        [&]() -> std::optional<std::u16string_view> {
            name = host.frontProcessName();
            if (name.isNull()) return std::nullopt;
            return std::u16string_view(reinterpret_cast<const char16_t *>(name.utf16()),
                                       size_t(name.size()));
        },
        type,
        [&] {
            keyCode = event->keyCode();
            return std::pair(keyCode, event->modifierFlags());
        },
        [&] {
            SlotCombos combos;
            for (int slot = 1; slot <= 6; ++slot) combos[slot - 1] = host.slotKeyCombo(slot);
            return combos;
        });
}

}  // namespace

TapEvent *eventCallback(void *, uint32_t type, TapEvent *event, void *) {
    if (selfPoint == nullptr) return event;
    EventTapHost &host = *selfPoint;
    RemappedPresses &presses = host.remappedPresses();
    if (!presses.empty() && isKeyEvent(type)) {
        const uint16_t keyCode = event->keyCode();
        if (const auto target = presses.target(keyCode))
            return followRemappedPress(host, type, event, keyCode, *target);
    }
    // A release follows its press, which went out unchanged.
    if (type == TapEvent::KeyUp) return event;
    uint16_t keyCode = 0;
    const RemapResult result = decide(host, type, event, keyCode);
    if (result.passThrough) return event;
    TapEvent *out = replacement(host, event, result.targetKeyCode, result.keyDown);
    if (out != event) presses.remember(keyCode, result.targetKeyCode);
    return out;
}
