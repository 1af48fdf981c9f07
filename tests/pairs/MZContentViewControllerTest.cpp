#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>

#include <vector>

#include "keymap/RemapDecision.h"
#include "pairs/MZContentViewController.h"
#include "pairs/MZPairViewController.h"
#include "pairs/PairStore.h"
#include "recorder/MZRecorderControl.h"
#include "tests/support/TemporarySettings.h"
#include "tests/support/WidgetInput.h"

namespace {

int deallocs = 0;

void countDeallocs(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type == QtInfoMsg && message == QLatin1String("dealloc")) ++deallocs;
}

// Rows destroyed "later" are destroyed here.
void finishClick() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Rows of one height h sit at y = 5, 10 + h, 15 + 2h ...; the container ends 5 below the last.
void expectEvenlyStacked(MZContentViewController &list, qsizetype what) {
    const int h = list.items().first()->height();
    for (qsizetype i = 0; i < list.items().size(); ++i)
        EXPECT_EQ(list.items()[i]->pos(), QPoint(0, 5 + int(i) * (h + 5))) << what << ", row " << i;
    EXPECT_EQ(list.desktopView()->height(), 5 + int(list.items().size()) * (h + 5)) << what;
}

class MZContentViewControllerTest : public ::testing::Test {
protected:
    TemporarySettings settings;
    void SetUp() override {
        list.show();
        deallocs = 0;
        previous = qInstallMessageHandler(countDeallocs);
    }
    void TearDown() override { qInstallMessageHandler(previous); }

    int rowHeight() { return list.items().first()->height(); }

    MZContentViewController list;
    QtMessageHandler previous = nullptr;
};

TEST_F(MZContentViewControllerTest, StartsWithTenRowsStackedFiveApartFromTheTop) {
    ASSERT_EQ(list.items().size(), 10);
    expectEvenlyStacked(list, 10);
    EXPECT_EQ(list.desktopView()->height(), 55 + 10 * list.items().first()->height());
    for (MZPairViewController *row : list.items()) {
        EXPECT_EQ(row->parentWidget(), list.desktopView());
        EXPECT_TRUE(row->closeHandler() && row->appendHandler() && !row->changedHandler());
    }
}

TEST_F(MZContentViewControllerTest, ClosingARowMovesTheRowsBelowUpAndDestroysItAfterItsClick) {
    for (qsizetype index : {0, 4, 9}) {
        MZContentViewController fresh;
        fresh.show();
        deallocs = 0;
        QPointer<MZPairViewController> closed = fresh.items()[index];
        click(closed, "closeButton");
        ASSERT_TRUE(closed) << "destroyed while its click was handled, row " << index;
        EXPECT_FALSE(fresh.items().contains(closed.data())) << index;
        EXPECT_EQ(fresh.items().size(), 9) << index;
        finishClick();
        EXPECT_FALSE(closed) << index;
        EXPECT_EQ(deallocs, 1) << index;
        expectEvenlyStacked(fresh, index);
    }
}

TEST_F(MZContentViewControllerTest, TheOnlyRowCannotBeClosed) {
    while (list.items().size() > 1) click(list.items().last(), "closeButton");
    finishClick();
    deallocs = 0;
    MZPairViewController *last = list.items().first();
    click(last, "closeButton");
    finishClick();
    EXPECT_EQ(list.items(), QList<MZPairViewController *>{last});
    EXPECT_EQ(last->parentWidget(), list.desktopView());
    EXPECT_EQ(deallocs, 0);
    expectEvenlyStacked(list, 1);
}

TEST_F(MZContentViewControllerTest, AppendingPutsTheNewRowInTheClickedRowsPlace) {
    for (qsizetype k : {0, 4, 9}) {
        MZContentViewController fresh;
        fresh.show();
        const QList<MZPairViewController *> before = fresh.items();
        click(before[k], "appendButton");
        const QList<MZPairViewController *> &after = fresh.items();
        ASSERT_EQ(after.size(), 11) << k;
        EXPECT_FALSE(before.contains(after[k])) << k;
        EXPECT_TRUE(after[k]->isVisible() && after[k]->parentWidget() == fresh.desktopView()) << k;
        EXPECT_EQ(after[k + 1], before[k]) << k;
        expectEvenlyStacked(fresh, k);
    }
}

TEST_F(MZContentViewControllerTest, RowsOfDifferentHeightsStackByTheirOwnHeights) {
    int expectedTop = 5;
    std::vector<QRect> expected;
    for (qsizetype i = 0; i < list.items().size(); ++i) {
        MZPairViewController *row = list.items()[i];
        row->setGeometry(int(i), 1000, 300 + int(i), 20 + 7 * int(i));
        expected.emplace_back(int(i), expectedTop, 300 + int(i), 20 + 7 * int(i));
        expectedTop += 20 + 7 * int(i) + 5;
    }
    list.refreshUI();
    for (qsizetype i = 0; i < list.items().size(); ++i)
        EXPECT_EQ(list.items()[i]->geometry(), expected[size_t(i)]) << i;
    EXPECT_EQ(list.desktopView()->height(), expectedTop);
}

// Rows are kept as they are edited and come back by their place; the complete ones are handed
// on, with a signal when they change, and a row on a key noted elsewhere is marked.
TEST_F(MZContentViewControllerTest, RowsAreKeptAndTheCompleteOnesHandedOn) {
    constexpr KeyCombo Q{0, 12}, W{0, 13}, Escape{0, 0x35};
    int changes = 0;
    QObject::connect(&list, &MZContentViewController::keyPairsChanged, [&] { ++changes; });
    type(list.items()[0]->originalControl(), Qt::Key_Q);
    EXPECT_EQ(changes, 0) << "half a row remaps nothing";
    type(list.items()[0]->swopControl(), Qt::Key_Escape);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.keyPairs(), std::vector<KeyPair>({{Q, Escape}}));
    click(list.items()[9], "appendButton");
    type(list.items()[10]->originalControl(), Qt::Key_W);
    list.setKeyNotes({{uint16_t(Q.code), QStringLiteral("a slot wins")}});
    EXPECT_EQ(list.items()[0]->originalControl()->note(), QStringLiteral("a slot wins"));
    EXPECT_TRUE(list.items()[10]->originalControl()->note().isEmpty());

    click(list.items()[0], "closeButton");
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(list.keyPairs().empty());
    MZContentViewController again;
    ASSERT_EQ(again.items().size(), 10);
    EXPECT_EQ(again.items()[9]->originalControl()->keyCombo(), W);
}

TEST(MZContentViewControllerRows, PastTheBrokersTableTheyAreKeptAndSaidToDoNothing) {
    TemporarySettings settings;
    std::vector<PairStore::Row> rows(MaxPairs + 1, {{{0, 12}, {0, 13}}, {}});
    {
        QSettings written;
        PairStore::save(written, rows);
    }
    MZContentViewController list;
    list.show();
    EXPECT_EQ(list.keyPairs().size(), MaxPairs + 1);
    const auto *note = list.findChild<QLabel *>(QStringLiteral("problemNote"));
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("Only the first 64 complete pairs remap")));
}

TEST(MZContentViewControllerRow, OutlivingItsListItsButtonsDoNothing) {
    TemporarySettings settings;
    auto list = std::make_unique<MZContentViewController>();
    std::unique_ptr<MZPairViewController> row = list->createPairVC();
    list.reset();
    row->show();
    click(row.get(), "closeButton");
    click(row.get(), "appendButton");
    EXPECT_TRUE(row->isVisible());
}

}  // namespace
