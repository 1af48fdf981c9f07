#include "KeyboardSink.h"

bool KeyboardSink::releaseAllKeys() {
    // Built on the stack each time so that no state is shared with the main thread.
    std::vector<input_event> events;
    events.reserve(KEY_CNT);
    for (uint16_t code = 1; code < KEY_CNT; ++code) {
        input_event event{};
        event.type = EV_KEY;
        event.code = code;
        events.push_back(event);
    }
    input_event syn{};
    syn.type = EV_SYN;
    syn.code = SYN_REPORT;
    events.push_back(syn);
    return writeEvents(events);
}
