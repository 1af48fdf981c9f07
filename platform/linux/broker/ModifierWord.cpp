#include "platform/linux/broker/ModifierWord.h"

#include "keymap/ModifierFlags.h"

#include <linux/input-event-codes.h>

using namespace ModifierFlags;

bool ModifierWord::isModifierKey(uint16_t evdevCode) {
    return evdevCode == KEY_CAPSLOCK || heldBits(evdevCode) != 0;
}

uint64_t ModifierWord::heldBits(uint16_t evdevCode) {
    switch (evdevCode) {
    case KEY_LEFTCTRL:
        return Control | LeftControl;
    case KEY_RIGHTCTRL:
        return Control | RightControl;
    case KEY_LEFTSHIFT:
        return Shift | LeftShift;
    case KEY_RIGHTSHIFT:
        return Shift | RightShift;
    case KEY_LEFTALT:
        return Alternate | LeftAlternate;
    case KEY_RIGHTALT:
        return Alternate | RightAlternate;
    case KEY_LEFTMETA:
        return Command | LeftCommand;
    case KEY_RIGHTMETA:
        return Command | RightCommand;
    case KEY_FN:
        return Function;
    default:
        return 0;
    }
}

uint64_t ModifierWord::keyClassBits(uint16_t evdevCode) {
    switch (evdevCode) {
    case KEY_KP0:
    case KEY_KP1:
    case KEY_KP2:
    case KEY_KP3:
    case KEY_KP4:
    case KEY_KP5:
    case KEY_KP6:
    case KEY_KP7:
    case KEY_KP8:
    case KEY_KP9:
    case KEY_KPDOT:
    case KEY_KPENTER:
    case KEY_KPPLUS:
    case KEY_KPMINUS:
    case KEY_KPASTERISK:
    case KEY_KPSLASH:
    case KEY_KPEQUAL:
    case KEY_NUMLOCK:
        return NumericPad;
    case KEY_UP:
    case KEY_DOWN:
    case KEY_LEFT:
    case KEY_RIGHT:
        return NumericPad | Function;
    case KEY_HOME:
    case KEY_END:
    case KEY_PAGEUP:
    case KEY_PAGEDOWN:
    case KEY_DELETE:
    case KEY_INSERT:
        return Function;
    default:
        break;
    }
    const bool lowFunctionKey = evdevCode >= KEY_F1 && evdevCode <= KEY_F10;
    const bool highFunctionKey = evdevCode == KEY_F11 || evdevCode == KEY_F12 ||
                                 (evdevCode >= KEY_F13 && evdevCode <= KEY_F24);
    return lowFunctionKey || highFunctionKey ? Function : 0;
}
