#include "remap/EventCallback.h"

#include "platform/TapEvent.h"
#include "remap/ChatPause.h"
#include "remap/EventTapHost.h"
#include "remap/RemapDecision.h"

EventTapHost *selfPoint = nullptr;

// Keeps nothing of its own: every event reads the switch, the front process and the slots
// afresh, and the only state it moves on is the host's chat pause. Pairing a release with
// what its press emitted is the tap's job, which sees the physical keys.
TapEvent *eventCallback(void *, uint32_t type, TapEvent *event, void *) {
    if (selfPoint == nullptr) return event;
    EventTapHost &host = *selfPoint;
    ChatPause *chatPause = host.chatPause();
    const bool wasPaused = chatPause && chatPause->isPaused();
    const RemapResult result = remapKeyEvent(
        host.remapSwitch(),
        [&]() -> std::optional<std::u16string_view> {
            const QString &name = host.frontProcessName();
            if (name.isNull()) return std::nullopt;
            return std::u16string_view(reinterpret_cast<const char16_t *>(name.utf16()),
                                       size_t(name.size()));
        },
        type,
        [&] {
            const uint16_t keyCode = event->keyCode();
            return std::pair(keyCode, event->modifierFlags());
        },
        [&]() -> const SlotTable & { return host.slotTable(); }, chatPause);
    if (chatPause && chatPause->isPaused() != wasPaused) host.chatPauseChanged();
    if (result.passThrough) return event;
    return host.createKeyboardEvent(result.targetKeyCode, result.keyDown);
}
