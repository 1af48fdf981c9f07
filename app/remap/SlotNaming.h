#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

#include "keymap/RemapDecision.h"

// How the slot panel names its six fields and tells of a key that more than one field holds.
// A field is named after the keypad key its slot presses and the game's inventory slot that
// key uses, counted in reading order from the top left (Keypad 7 is inventory slot 1, Keypad 2
// slot 6). Only a combination's key decides (its modifiers neither select nor prevent a
// match), and of several slots holding one key the last one wins. Slots are numbered 0 to 5
// as control1 to control6. Plain values in, text out.
class SlotNaming {
public:
    // "Keypad 7"
    static QString keypadName(size_t slot);
    // 1 to 6, reading the inventory from the top left.
    static int inventoryNumber(size_t slot);
    static QString toolTip(size_t slot);

    struct SharedKeys {
        // For each field whose key another field holds too: which slot the key presses.
        std::array<QString, 6> fieldNotes;
        // One line for each such key.
        QStringList lines;
    };
    static SharedKeys sharedKeys(const SlotCombos &combos);
    // What a pair on a slot's key is told, by key code: the slot wins.
    static QHash<uint16_t, QString> pairKeyNotes(const SlotCombos &combos);
};
