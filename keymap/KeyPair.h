#pragma once

#include "keymap/KeyCombo.h"

// One row of the pair list as plain values: a key and the key that takes its place.
struct KeyPair {
    KeyCombo key;
    KeyCombo replacement;

    // Both keys recorded: only such a row remaps anything.
    bool isComplete() const { return key.code >= 0 && replacement.code >= 0; }
    bool isEmpty() const { return key.code < 0 && replacement.code < 0; }
    bool operator==(const KeyPair &) const = default;
};
