#pragma once

#include <cstdint>

class TapEvent;

// The tap callback: asks selfPoint for the switch, the front process and the slots,
// and returns the incoming event, a replacement keypad event, or nullptr when a
// replacement could not be made.
TapEvent *eventCallback(void *proxy, uint32_t type, TapEvent *event, void *userInfo);
