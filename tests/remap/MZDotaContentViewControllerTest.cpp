#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QSettings>

#include "keymap/RemapDecision.h"
#include "pairs/MZPairViewController.h"
#include "recorder/MZRecorderControl.h"
#include "recorder/VirtualKeyTable.h"
#include "remap/MZDotaContentViewController.h"
#include "remap/SlotComboStore.h"
#include "tests/support/TemporarySettings.h"
#include "tests/support/WidgetInput.h"

namespace {

constexpr uint64_t Shift = 1ull << 17;
constexpr uint64_t Control = 1ull << 18;
constexpr uint64_t Alternate = 1ull << 19;
constexpr uint64_t Command = 1ull << 20;

int warnings = 0;

void countWarnings(QtMsgType type, const QMessageLogContext &, const QString &) {
    if (type == QtWarningMsg || type == QtInfoMsg) ++warnings;
}

class MZDotaContentViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override { QCoreApplication::setApplicationName(QStringLiteral("remap-panel")); }

    static std::array<MZRecorderControl *, 6> controls(const MZDotaContentViewController &panel) {
        return {panel.control1(), panel.control2(), panel.control3(),
                panel.control4(), panel.control5(), panel.control6()};
    }
    static std::array<KeyCombo, 6> combos(const MZDotaContentViewController &panel) {
        std::array<KeyCombo, 6> result;
        const auto recorders = controls(panel);
        for (size_t i = 0; i < 6; ++i) result[i] = recorders[i]->keyCombo();
        return result;
    }

    TemporarySettings settings;
};

TEST_F(MZDotaContentViewControllerTest, SlotsSitLikeTheInventoryLabelledWithTheirKeypadKey) {
    MZDotaContentViewController panel;
    panel.show();
    const auto c = controls(panel);
    auto top = [&](int slot) { return c[size_t(slot - 1)]->geometry().top(); };
    auto left = [&](int slot) { return c[size_t(slot - 1)]->geometry().left(); };
    EXPECT_EQ(top(5), top(6));
    EXPECT_EQ(top(3), top(4));
    EXPECT_EQ(top(1), top(2));
    EXPECT_LT(top(5), top(3));
    EXPECT_LT(top(3), top(1));
    EXPECT_EQ(left(5), left(3));
    EXPECT_EQ(left(3), left(1));
    EXPECT_LT(left(1), left(2));
    EXPECT_EQ(left(2), left(4));
    EXPECT_EQ(left(4), left(6));

    const QList<QLabel *> labels = panel.findChildren<QLabel *>();
    for (size_t i = 0; i < 6; ++i) {
        const auto label = std::ranges::find(labels, c[i], &QLabel::buddy);
        ASSERT_NE(label, labels.end()) << "slot " << i + 1;
        EXPECT_EQ((*label)->text(), VirtualKeyTable::name(SlotTargetKeyCodes[i]))
            << "slot " << i + 1;
    }
}

// What such a recorder records is the recorder's table.
TEST_F(MZDotaContentViewControllerTest, EveryRecorderTakesBareKeysAndRecordsEscape) {
    MZDotaContentViewController panel;
    for (MZRecorderControl *recorder : controls(panel))
        EXPECT_TRUE(recorder->allowsKeyOnly() && recorder->escapeKeysRecord());
}

TEST_F(MZDotaContentViewControllerTest, CombinationsSurviveARestart) {
    {
        MZDotaContentViewController panel;
        panel.show();
        type(panel.control2(), Qt::Key_Q);
        type(panel.control6(), Qt::Key_W, Qt::ShiftModifier);
    }
    const std::array<KeyCombo, 6> expected = {KeyCombo{}, KeyCombo{0, 12}, KeyCombo{},
                                              KeyCombo{}, KeyCombo{},      KeyCombo{Shift, 13}};
    {
        MZDotaContentViewController panel;
        EXPECT_EQ(combos(panel), expected);
        panel.control2()->clear();
    }
    MZDotaContentViewController panel;
    EXPECT_EQ(combos(panel), (SlotCombos{{{}, {}, {}, {}, {}, {Shift, 13}}}));
}

TEST_F(MZDotaContentViewControllerTest, ADamagedSavedValueIsIgnoredWithOneLogLine) {
    const QVariantMap good{{QStringLiteral("flags"), 0}, {QStringLiteral("code"), 12}};
    auto sixOf = [](const QVariant &item) { return QVariantList(6, item); };
    QVariantList fiveGood = sixOf(good);
    fiveGood.removeLast();
    const struct {
        const char *what;
        QVariant stored;
    } cases[] = {
        {"text", QStringLiteral("garbage")},
        {"five slots", fiveGood},
        {"slot not a map", sixOf(42)},
        {"code as text",
         sixOf(QVariantMap{{QStringLiteral("flags"), 0}, {QStringLiteral("code"), "Q"}})},
        {"code missing", sixOf(QVariantMap{{QStringLiteral("flags"), 0}})},
        {"code beyond 16 bits",
         sixOf(QVariantMap{{QStringLiteral("flags"), 0}, {QStringLiteral("code"), 1 << 20}})},
    };
    for (const auto &c : cases) {
        QSettings().setValue(SlotComboStore::LegacySettingsKey, c.stored);
        warnings = 0;
        const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
        MZDotaContentViewController panel;
        qInstallMessageHandler(previous);
        EXPECT_EQ(combos(panel), SlotCombos{}) << c.what;
        EXPECT_EQ(warnings, 1) << c.what;
    }
}

// A settings file as earlier versions wrote it: the slots as one binary list of six maps, beside
// the update check's document, which must stay as it is.
constexpr char LegacySettingsFile[] =
    R"([General]
info=@Variant(\0\0\0\b\0\0\0\x1\0\0\0\xe\0v\0\x65\0r\0s\0i\0o\0n\0\0\0\n\0\0\0\n\0\x31\0.\0\x30\0.\0\x30)
slotKeyCombos=@Variant(\0\0\0\b\0\0\0\x2\0\0\0\b\0\x63\0o\0\x64\0\x65\0\0\0\x4\0\0\0\0\0\0\0\f\0\0\0\n\0\x66\0l\0\x61\0g\0s\0\0\0\x5\0\0\0\0\0\0\0\0), @Variant(\0\0\0\b\0\0\0\x2\0\0\0\b\0\x63\0o\0\x64\0\x65\0\0\0\x4\0\0\0\0\0\0\0\r\0\0\0\n\0\x66\0l\0\x61\0g\0s\0\0\0\x5\0\0\0\0\0\x2\0\0), @Variant(\0\0\0\b\0\0\0\x2\0\0\0\b\0\x63\0o\0\x64\0\x65\0\0\0\x4\xff\xff\xff\xff\xff\xff\xff\xff\0\0\0\n\0\x66\0l\0\x61\0g\0s\0\0\0\x5\0\0\0\0\0\0\0\0), @Variant(\0\0\0\b\0\0\0\x2\0\0\0\b\0\x63\0o\0\x64\0\x65\0\0\0\x4\0\0\0\0\0\0\0`\0\0\0\n\0\x66\0l\0\x61\0g\0s\0\0\0\x5\0\0\0\0\0\f\0\0), @Variant(\0\0\0\b\0\0\0\x2\0\0\0\b\0\x63\0o\0\x64\0\x65\0\0\0\x4\0\0\0\0\0\0\0\x34\0\0\0\n\0\x66\0l\0\x61\0g\0s\0\0\0\x5\0\0\0\0\0\0\0\0), @Variant(\0\0\0\b\0\0\0\x2\0\0\0\b\0\x63\0o\0\x64\0\x65\0\0\0\x4\0\0\0\0\0\0\0\x35\0\0\0\n\0\x66\0l\0\x61\0g\0s\0\0\0\x5\0\0\0\0\0\x10\0\0)
)";

TEST_F(MZDotaContentViewControllerTest, SlotsInTheEarlierFormAreReadOnceAndRewrittenAsText) {
    ASSERT_TRUE(TemporarySettings::write(LegacySettingsFile));
    const SlotCombos expected = {KeyCombo{0, 12},   KeyCombo{Shift, 13},
                                 KeyCombo{},        KeyCombo{Control | Alternate, 0x60},
                                 KeyCombo{0, 0x34}, KeyCombo{Command, 0x35}};
    {
        MZDotaContentViewController panel;
        EXPECT_EQ(combos(panel), expected);
    }
    const QString text = TemporarySettings::read();
    EXPECT_FALSE(text.contains(QStringLiteral("slotKeyCombos"))) << text.toStdString();
    for (const char *line :
         {"[slots]", "keypad1=Q", "keypad2=Shift+W", "keypad4=\n", "keypad5=Ctrl+Alt+F5",
          "keypad7=Key 52", "keypad8=Super+Escape", "info=@Variant("})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text.toStdString();
    MZDotaContentViewController again;
    EXPECT_EQ(combos(again), expected);
}

// A line that names no key leaves its field empty, is said under the grid and stays in the
// file until its slot is recorded; a line that is no slot's stays too. A key in two fields
// marks both.
TEST_F(MZDotaContentViewControllerTest, UnreadableLinesAreSaidAndKeptUntilTheirSlotIsRecorded) {
    QSettings file;
    file.setValue(QStringLiteral("slots/keypad1"), QStringLiteral("Shift+Q"));
    file.setValue(QStringLiteral("slots/keypad2"), QStringLiteral("Hyper+Q"));
    file.setValue(QStringLiteral("slots/keypad4"), QStringLiteral("Ctrl+NoSuchKey"));
    file.setValue(QStringLiteral("slots/stray"), QStringLiteral("1"));
    file.sync();
    warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    MZDotaContentViewController panel;
    qInstallMessageHandler(previous);
    panel.show();
    EXPECT_EQ(combos(panel), (SlotCombos{{{Shift, 12}, {}, {}, {}, {}, {}}}));
    EXPECT_EQ(warnings, 2);
    const auto *note = panel.findChild<QLabel *>(QStringLiteral("problemNote"));
    EXPECT_TRUE(note->text().endsWith(QStringLiteral(
        "keeps them as they are: keypad2=Hyper+Q; keypad4=Ctrl+NoSuchKey; stray=1")));
    EXPECT_TRUE(panel.control1()->findChild<QLabel *>()->text().startsWith(QStringLiteral("<span")))
        << "Shift shows greyed";

    type(panel.control2(), Qt::Key_E);
    type(panel.control5(), Qt::Key_Q);
    const auto value = [](const char *key) { return QSettings().value(QString::fromLatin1(key)); };
    EXPECT_EQ(value("slots/keypad2"), QStringLiteral("E"));
    EXPECT_EQ(value("slots/keypad4"), QStringLiteral("Ctrl+NoSuchKey"));
    EXPECT_EQ(value("slots/stray"), QStringLiteral("1"));
    EXPECT_FALSE(note->text().contains(QStringLiteral("keypad2")));
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("Q is in Keypad 1 and Keypad 7")));
    EXPECT_FALSE(panel.control1()->note().isEmpty());
    EXPECT_FALSE(panel.control5()->note().isEmpty());
}

TEST(MZContentViewControllerSubclass, TheSlotPanelMakesNoRow) {
    TemporarySettings settings;
    MZDotaContentViewController panel;
    panel.show();
    EXPECT_TRUE(panel.items().isEmpty());
    EXPECT_EQ(panel.desktopView(), nullptr);
    EXPECT_TRUE(panel.findChildren<MZPairViewController *>().isEmpty());
}

}  // namespace
