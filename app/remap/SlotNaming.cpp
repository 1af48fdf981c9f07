#include "remap/SlotNaming.h"

#include <QCoreApplication>
#include <map>
#include <vector>

#include "recorder/VirtualKeyTable.h"

namespace {

QString tr(const char *text) { return QCoreApplication::translate("SlotNaming", text); }

// The slots holding each key, in slot order; keyed by the 16 bits the tap compares.
std::map<uint16_t, std::vector<size_t>> holders(const SlotCombos &combos) {
    std::map<uint16_t, std::vector<size_t>> byKey;
    for (size_t slot = 0; slot < combos.size(); ++slot)
        if (combos[slot].code >= 0) byKey[uint16_t(combos[slot].code)].push_back(slot);
    return byKey;
}

// "Keypad 7 (inventory slot 1)"
QString slotName(size_t slot) {
    return tr("%1 (inventory slot %2)")
        .arg(SlotNaming::keypadName(slot))
        .arg(SlotNaming::inventoryNumber(slot));
}

// "Keypad 1, Keypad 4 and Keypad 5"
QString keypadList(const std::vector<size_t> &holding) {
    QStringList names;
    for (size_t slot : holding) names << SlotNaming::keypadName(slot);
    const QString last = names.takeLast();
    return tr("%1 and %2").arg(names.join(QStringLiteral(", ")), last);
}

}  // namespace

QString SlotNaming::keypadName(size_t slot) {
    return VirtualKeyTable::name(SlotTargetKeyCodes[slot]);
}

int SlotNaming::inventoryNumber(size_t slot) {
    // Slots run from the bottom row up, left before right.
    const int rowFromTop = 2 - int(slot / 2);
    return rowFromTop * 2 + int(slot % 2) + 1;
}

QString SlotNaming::toolTip(size_t slot) {
    return tr("%1: record the key that is to press it in the game").arg(slotName(slot));
}

SlotNaming::SharedKeys SlotNaming::sharedKeys(const SlotCombos &combos) {
    SharedKeys shared;
    for (const auto &[key, holding] : holders(combos)) {
        if (holding.size() < 2) continue;
        const QString line =
            tr("%1 is in %2: it presses %3.")
                .arg(VirtualKeyTable::name(key), keypadList(holding), slotName(holding.back()));
        shared.lines << line;
        for (size_t slot : holding) shared.fieldNotes[slot] = line;
    }
    return shared;
}

QHash<uint16_t, QString> SlotNaming::pairKeyNotes(const SlotCombos &combos) {
    QHash<uint16_t, QString> notes;
    for (const auto &[key, holding] : holders(combos))
        notes.insert(key, tr("%1 is also the key of %2: the slot wins over this pair.")
                              .arg(VirtualKeyTable::name(key), slotName(holding.back())));
    return notes;
}
