#pragma once

#include <cstdint>

class TapEvent;

// The tap callback: asks selfPoint for the switch, the front process and the slot table,
// feeds the game's key events to the host's chat pause (typing in the chat passes), and
// returns the incoming event, a replacement keypad event, or nullptr when a
// replacement is due but cannot be made (the key is dropped). Every event, presses,
// auto-repeats and releases alike, is decided afresh with the same test: nothing pairs a
// release with its press here. The tap does that where it sees the physical keys, and
// releases whatever a press emitted whatever the callback says of the release.
TapEvent *eventCallback(void *proxy, uint32_t type, TapEvent *event, void *userInfo);
