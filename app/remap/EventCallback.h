#pragma once

#include <cstdint>

class TapEvent;

// The tap callback: asks selfPoint for the switch, the front process and the slots, and
// returns either the incoming event or a replacement keypad event. A release, and an
// auto-repeated press, of a key whose press was remapped goes to the same keypad key even
// if the switch, the front process or the slot changed meanwhile; a release whose press
// was not remapped passes unchanged. When no replacement can be made the incoming event
// passes, so a key is never swallowed.
TapEvent *eventCallback(void *proxy, uint32_t type, TapEvent *event, void *userInfo);
