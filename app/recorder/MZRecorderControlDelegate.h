#pragma once

#include <cstdint>

#include "keymap/KeyCombo.h"

class MZRecorderControl;
class QString;

// Optional callbacks of a recorder's owner; a callback not overridden does nothing.
class MZRecorderControlDelegate {
public:
    virtual ~MZRecorderControlDelegate() = default;
    // Asked before a combination is accepted; answering true refuses it, and `reason`
    // (never null) may say why.
    virtual bool isKeyCodeTaken(MZRecorderControl *, int64_t /*keyCode*/, uint64_t /*flags*/,
                                QString * /*reason*/) {
        return false;
    }
    // After the user recorded or cleared a combination.
    virtual void keyComboDidChange(MZRecorderControl *, KeyCombo) {}
};
