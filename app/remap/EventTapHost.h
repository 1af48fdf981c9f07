#pragma once

#include <QString>
#include <cstdint>

#include "remap/RemapDecision.h"

class ChatPause;
class TapEvent;

// What the tap callback needs from the running application. All calls happen on the
// main thread; none may block.
class EventTapHost {
public:
    virtual ~EventTapHost() = default;
    // The remapping switch.
    virtual bool remapSwitch() const = 0;
    // Name of the front process; a null string when there is none. Valid for this call
    // of the callback.
    virtual const QString &frontProcessName() const = 0;
    // The six slots as the recorders show them at this moment: a value the application
    // rebuilds whenever a recorder changes, so no key event reads a widget.
    virtual const SlotTable &slotTable() const = 0;
    // A new keyboard event with only a key code and a direction. The event system that
    // receives it from the callback owns it; nullptr when none can be made.
    virtual TapEvent *createKeyboardEvent(uint16_t virtualKeyCode, bool keyDown) = 0;
    // The chat pause the callback feeds with the game's key events, kept beside the slot
    // table; none: typing in the chat is remapped like any other key.
    virtual ChatPause *chatPause() { return nullptr; }
    // The chat pause began or ended during this call of the callback. Runs on the key path:
    // it may only queue work for later, never do it.
    virtual void chatPauseChanged() {}
};

// Set once during launch, before the tap exists; never owned through this pointer.
extern EventTapHost *selfPoint;
