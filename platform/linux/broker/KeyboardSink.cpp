#include "platform/linux/broker/KeyboardSink.h"

#include "platform/linux/broker/InputEvent.h"
#include "platform/linux/broker/KeyRelease.h"

bool KeyboardSink::releaseAllKeys() { return writeEvents(KeyRelease::allKeys()); }

bool KeyboardSink::toggleNumLock() { return writeEvents(numLockToggle()); }
