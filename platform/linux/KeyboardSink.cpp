#include "platform/linux/KeyboardSink.h"

#include "platform/linux/InputEvent.h"
#include "platform/linux/broker/KeyRelease.h"

bool KeyboardSink::releaseAllKeys() { return writeEvents(KeyRelease::allKeys()); }

bool KeyboardSink::toggleNumLock() { return writeEvents(numLockToggle()); }
