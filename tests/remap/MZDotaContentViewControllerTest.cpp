#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "remap/MZDotaContentViewController.h"
#include "remap/MZFlipView.h"
#include "remap/MZRecorderControl.h"
#include "remap/RemapDecision.h"
#include "remap/SlotComboStore.h"
#include "remap/VirtualKeyTable.h"

namespace {

constexpr uint64_t Shift = 1ull << 17;

int warnings = 0;

void countWarnings(QtMsgType type, const QMessageLogContext &, const QString &) {
    if (type == QtWarningMsg || type == QtInfoMsg) ++warnings;
}

class MZDotaContentViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("VelmoraTest"));
        QCoreApplication::setApplicationName(QStringLiteral("remap-panel"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }

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
    static void type(MZRecorderControl *recorder, Qt::Key key,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(recorder, Qt::LeftButton);
        QTest::keyClick(recorder, key, modifiers);
    }

    QTemporaryDir settingsDir;
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

TEST_F(MZDotaContentViewControllerTest, EveryRecorderTakesBareKeysAndRecordsEscape) {
    MZDotaContentViewController panel;
    panel.show();
    for (MZRecorderControl *recorder : controls(panel)) {
        EXPECT_TRUE(recorder->allowsKeyOnly());
        EXPECT_TRUE(recorder->escapeKeysRecord());
        type(recorder, Qt::Key_Escape);
        EXPECT_EQ(recorder->keyCombo(), (KeyCombo{0, 0x35}));
    }
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
        QSettings().setValue(SlotComboStore::SettingsKey, c.stored);
        warnings = 0;
        const QtMessageHandler previous = qInstallMessageHandler(countWarnings);
        MZDotaContentViewController panel;
        qInstallMessageHandler(previous);
        EXPECT_EQ(combos(panel), SlotCombos{}) << c.what;
        EXPECT_EQ(warnings, 1) << c.what;
    }
}

TEST(MZFlipView, IsFlipped) { EXPECT_TRUE(MZFlipView().isFlipped()); }

}  // namespace
