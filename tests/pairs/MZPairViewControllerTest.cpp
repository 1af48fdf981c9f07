#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include <array>
#include <functional>

#include "pairs/MZPairViewController.h"
#include "recorder/MZRecorderControl.h"

namespace {

constexpr KeyCombo Escape{0, 0x35};

void click(MZPairViewController &row, const char *buttonName) {
    QTest::mouseClick(row.findChild<QPushButton *>(buttonName), Qt::LeftButton);
}

void type(MZRecorderControl *recorder, Qt::Key key) {
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, key);
}

TEST(MZPairViewController, EachClickOrChangeCallsItsOwnHandlerOnceAndNothingWhenUnset) {
    const struct {
        const char *what;
        std::function<void(MZPairViewController &)> act;
        std::array<int, 3> closeAppendChanged;
    } cases[] = {
        {"close button", [](auto &row) { click(row, "closeButton"); }, {1, 0, 0}},
        {"append button", [](auto &row) { click(row, "appendButton"); }, {0, 1, 0}},
        {"original key", [](auto &row) { type(row.originalControl(), Qt::Key_Q); }, {0, 0, 1}},
        {"swop key", [](auto &row) { type(row.swopControl(), Qt::Key_Q); }, {0, 0, 1}},
    };
    for (const auto &c : cases) {
        MZPairViewController row;
        row.show();
        std::array<int, 3> calls{};
        row.setCloseHandler([&] { ++calls[0]; });
        row.setAppendHandler([&] { ++calls[1]; });
        row.setChangedHandler([&] { ++calls[2]; });
        c.act(row);
        EXPECT_EQ(calls, c.closeAppendChanged) << c.what;

        MZPairViewController unset;
        unset.show();
        c.act(unset);
    }
}

TEST(MZPairViewController, RecordersTakeBareKeysAndEscapeAndNothingIsEverTaken) {
    MZPairViewController row;
    row.show();
    type(row.originalControl(), Qt::Key_Escape);
    type(row.swopControl(), Qt::Key_Escape);
    EXPECT_EQ(row.originalControl()->keyCombo(), Escape);
    EXPECT_EQ(row.swopControl()->keyCombo(), Escape);

    QString reason = QStringLiteral("untouched");
    EXPECT_FALSE(row.isKeyCodeTaken(row.swopControl(), Escape.code, Escape.flags, &reason));
    EXPECT_EQ(reason, QStringLiteral("untouched"));
}

}  // namespace
