#include "platform/linux/KeyboardSink.h"

#include "platform/linux/InputEvent.h"

bool KeyboardSink::releaseAllKeys() {
    // Built on the stack each time so that no state is shared with the main thread.
    std::vector<input_event> events;
    events.reserve(KEY_CNT);
    for (uint16_t code = 1; code < KEY_CNT; ++code)
        events.push_back(makeInputEvent(EV_KEY, code, 0));
    events.push_back(makeInputEvent(EV_SYN, SYN_REPORT, 0));
    return writeEvents(events);
}

bool KeyboardSink::toggleNumLock() { return writeEvents(numLockToggle()); }
