#include "tests/platform/TestRemapper.h"

#include "platform/linux/broker/KeyboardEvent.h"

TapEvent *TestRemapper::callback(void *, uint32_t type, TapEvent *event, void *self) {
    auto &remapper = *static_cast<TestRemapper *>(self);
    if (remapper.recordCalls)
        remapper.calls.push_back({type, event->keyCode(), event->modifierFlags()});
    if (type != TapEvent::KeyDown && type != TapEvent::KeyUp) return event;
    if (!remapper.on || !remapper.gameInFront) return event;
    if (remapper.dropped.contains(event->keyCode())) return nullptr;
    const auto slot = remapper.keyMap.find(event->keyCode());
    if (slot == remapper.keyMap.end()) return event;
    return new KeyboardEvent(slot->second, type == TapEvent::KeyDown);
}
