#include <gtest/gtest.h>

#include "keymap/ModifierFlags.h"
#include "remap/SlotNaming.h"

namespace {

constexpr int64_t Q = 12;
constexpr int64_t W = 13;

// Reading the inventory from the top left: Keypad 7 and 8, then 4 and 5, then 1 and 2.
TEST(SlotNaming, FieldsAreNamedAfterTheirKeypadKeyAndInventorySlotInReadingOrder) {
    const struct {
        const char *keypad;
        int inventory;
    } names[] = {{"Keypad 1", 5}, {"Keypad 2", 6}, {"Keypad 4", 3},
                 {"Keypad 5", 4}, {"Keypad 7", 1}, {"Keypad 8", 2}};
    for (size_t slot = 0; slot < 6; ++slot) {
        EXPECT_EQ(SlotNaming::keypadName(slot), QString::fromUtf8(names[slot].keypad));
        EXPECT_EQ(SlotNaming::inventoryNumber(slot), names[slot].inventory) << slot;
        EXPECT_TRUE(
            SlotNaming::toolTip(slot).startsWith(QStringLiteral("%1 (inventory slot %2)")
                                                     .arg(QString::fromUtf8(names[slot].keypad))
                                                     .arg(names[slot].inventory)));
    }
}

// Only the key counts, and the last slot holding it wins.
TEST(SlotNaming, AKeyInSeveralFieldsMarksThemAllAndSaysWhichSlotItPresses) {
    const QString qInThree = QStringLiteral(
        "Q is in Keypad 1, Keypad 4 and Keypad 7: it presses Keypad 7 (inventory "
        "slot 1).");
    const QString wInTwo =
        QStringLiteral("W is in Keypad 2 and Keypad 8: it presses Keypad 8 (inventory slot 2).");
    const struct {
        SlotCombos combos;
        std::array<QString, 6> fieldNotes;
        QStringList lines;
    } cases[] = {
        {{{{0, Q}, {0, W}, {}, {}, {}, {}}}, {}, {}},
        {{{{0, Q}, {0, W}, {ModifierFlags::Control, Q}, {}, {ModifierFlags::Shift, Q}, {0, W}}},
         {qInThree, wInTwo, qInThree, {}, qInThree, wInTwo},
         {qInThree, wInTwo}},
    };
    for (const auto &c : cases) {
        const SlotNaming::SharedKeys shared = SlotNaming::sharedKeys(c.combos);
        EXPECT_EQ(shared.fieldNotes, c.fieldNotes);
        EXPECT_EQ(shared.lines, c.lines);
    }
    const auto pairNotes = SlotNaming::pairKeyNotes({{{0, Q}, {}, {}, {}, {0, Q}, {0, W}}});
    EXPECT_EQ(pairNotes.keys().size(), 2);
    EXPECT_EQ(pairNotes.value(Q),
              QStringLiteral("Q is also the key of Keypad 7 (inventory slot 1): the slot wins "
                             "over this pair."));
}

}  // namespace
