#pragma once

#include <cstdint>

class TapEvent;

// The tap callback, run by the broker's tap for every key event: decides it on the state the
// person's side sent (userInfo: the broker's RemapHost), feeds the game's key events to the chat
// pause (typing in the chat passes), and returns the incoming event or a replacement keypad
// event, which the tap owns from then on. Every event, presses, auto-repeats and releases
// alike, is decided afresh with the same test: nothing pairs a release with its press here. The
// tap does that where it sees the physical keys, and releases whatever a press emitted whatever
// the callback says of the release.
TapEvent *eventCallback(void *proxy, uint32_t type, TapEvent *event, void *userInfo);
