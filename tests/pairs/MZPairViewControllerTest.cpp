#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "pairs/MZPairViewController.h"
#include "recorder/MZRecorderControl.h"
#include "tests/support/WidgetInput.h"

namespace {

constexpr KeyCombo Escape{0, 0x35};

TEST(MZPairViewController, EachClickOrChangeCallsItsOwnHandlerOnceAndNothingWhenUnset) {
    const struct {
        const char *what;
        std::function<void(MZPairViewController &)> act;
        std::array<int, 3> closeAppendChanged;
    } cases[] = {
        {"close button", [](auto &row) { click(&row, "closeButton"); }, {1, 0, 0}},
        {"append button", [](auto &row) { click(&row, "appendButton"); }, {0, 1, 0}},
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

// What such a recorder records is the recorder's table.
TEST(MZPairViewController, RecordersTakeBareKeysAndEscapeAndNothingIsEverTaken) {
    MZPairViewController row;
    for (MZRecorderControl *recorder : {row.originalControl(), row.swopControl()})
        EXPECT_TRUE(recorder->allowsKeyOnly() && recorder->escapeKeysRecord());

    QString reason = QStringLiteral("untouched");
    EXPECT_FALSE(row.isKeyCodeTaken(row.swopControl(), Escape.code, Escape.flags, &reason));
    EXPECT_EQ(reason, QStringLiteral("untouched"));
}

}  // namespace
