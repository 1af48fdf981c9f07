#include "platform/linux/broker/EventCallback.h"

#include "keymap/RemapDecision.h"
#include "platform/linux/broker/KeyboardEvent.h"
#include "platform/linux/broker/RemapHost.h"

TapEvent *eventCallback(void *, uint32_t type, TapEvent *event, void *userInfo) {
    RemapHost &host = *static_cast<RemapHost *>(userInfo);
    const RemapResult result = remapKeyEvent(
        host.state(), type,
        [&] {
            const uint16_t keyCode = event->keyCode();
            return std::pair(keyCode, event->modifierFlags());
        },
        &host.chatPause());
    if (result.passThrough) return event;
    return new KeyboardEvent(result.targetKeyCode, result.keyDown);
}
