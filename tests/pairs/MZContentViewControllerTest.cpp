#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include "pairs/MZContentViewController.h"
#include "pairs/MZPairViewController.h"
#include "remap/MZDotaContentViewController.h"
#include "shell/MainWindow.h"

namespace {

int deallocs = 0;

void countDeallocs(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type == QtInfoMsg && message == QLatin1String("dealloc")) ++deallocs;
}

void click(MZPairViewController *row, const char *buttonName) {
    QTest::mouseClick(row->findChild<QPushButton *>(buttonName), Qt::LeftButton);
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

TEST(MZContentViewControllerRow, OutlivingItsListItsButtonsDoNothing) {
    auto list = std::make_unique<MZContentViewController>();
    std::unique_ptr<MZPairViewController> row = list->createPairVC();
    list.reset();
    row->show();
    click(row.get(), "closeButton");
    click(row.get(), "appendButton");
    EXPECT_TRUE(row->isVisible());
}

TEST(MZContentViewControllerSubclass, TheSlotPanelMakesNoRow) {
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("VelmoraTest"));
    MZDotaContentViewController panel;
    panel.show();
    EXPECT_TRUE(panel.items().isEmpty());
    EXPECT_EQ(panel.desktopView(), nullptr);
    EXPECT_TRUE(panel.findChildren<MZPairViewController *>().isEmpty());
}

TEST(MZContentViewControllerInWindow, APersonReachesThePairsTabAndEditsTheList) {
    MainWindow window;
    window.show();
    auto *tabs = window.findChild<QTabWidget *>();
    ASSERT_EQ(tabs->tabText(1), QStringLiteral("Pairs"));
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    auto *list = tabs->currentWidget()->findChild<MZContentViewController *>();
    ASSERT_TRUE(list && list->items().first()->isVisible());

    click(list->items().first(), "appendButton");
    click(list->items().first(), "closeButton");
    click(list->items().first(), "closeButton");
    finishClick();
    EXPECT_EQ(list->items().size(), 9);
}

}  // namespace
