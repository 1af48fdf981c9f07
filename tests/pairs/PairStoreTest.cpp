#include <gtest/gtest.h>

#include <QSettings>

#include "keymap/ModifierFlags.h"
#include "pairs/PairStore.h"
#include "tests/support/TemporarySettings.h"

namespace {

constexpr KeyCombo CapsLock{0, 0x39};
constexpr KeyCombo Escape{0, 0x35};
constexpr KeyCombo Q{0, 12};

// Rows come back by their number, half-filled ones too; a row whose text names no key comes
// back as its text and is written back while the row stays empty; lines that are no row's
// are left as they are, and a row emptied since is dropped.
TEST(PairStore, RowsRoundTripAsTextWithUnreadableLinesKept) {
    TemporarySettings temporary;
    ASSERT_TRUE(
        TemporarySettings::write("[pairs]\n1=CapsLock>Escape\n2=Q>\n3=Foo>Bar\n4=Q\n5=\n"
                                 "7=shift + F1 > keypad 4\n01=Q>W\n101=Q>W\nnote=hello\n"));

    QSettings settings;
    const PairStore::Stored stored = PairStore::load(settings);
    const std::map<int, PairStore::Row> expected = {
        {0, {{CapsLock, Escape}, {}}},
        {1, {{Q, {}}, {}}},
        {2, {{}, QStringLiteral("Foo>Bar")}},
        {3, {{}, QStringLiteral("Q")}},
        {4, {{}, {}}},
        {6, {{{ModifierFlags::Shift, 0x7A}, {0, 86}}, {}}},
    };
    ASSERT_EQ(stored.rows.size(), expected.size());
    for (const auto &[index, row] : expected) {
        EXPECT_EQ(stored.rows.at(index).pair, row.pair) << index;
        EXPECT_EQ(stored.rows.at(index).unreadable, row.unreadable) << index;
    }
    EXPECT_EQ(stored.strays, QStringList({"01=Q>W", "101=Q>W", "note=hello"}));

    PairStore::save(settings, {stored.rows.at(0), {}, stored.rows.at(2), {{Q, Escape}, {}}});
    settings.beginGroup(PairStore::SettingsGroup);
    QStringList lines;
    for (const QString &key : settings.childKeys())
        lines << key + '=' + settings.value(key).toString();
    EXPECT_EQ(lines, QStringList({"01=Q>W", "1=Caps Lock>Escape", "101=Q>W", "3=Foo>Bar",
                                  "4=Q>Escape", "note=hello"}));
}

}  // namespace
