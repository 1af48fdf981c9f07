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

std::vector<int> tops(MZContentViewController &list) {
    std::vector<int> result;
    for (MZPairViewController *row : list.items()) result.push_back(row->y());
    return result;
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
    const int h = rowHeight();
    ASSERT_GT(h, 0);
    ASSERT_EQ(list.items().size(), 10);
    for (qsizetype i = 0; i < 10; ++i) {
        MZPairViewController *row = list.items()[i];
        EXPECT_EQ(row->parentWidget(), list.desktopView());
        EXPECT_EQ(row->geometry(), QRect(0, 5 + int(i) * (h + 5), row->width(), h)) << i;
        EXPECT_TRUE(row->closeHandler() && row->appendHandler());
        EXPECT_FALSE(row->changedHandler());
    }
    EXPECT_EQ(list.desktopView()->height(), 55 + 10 * h);
}

TEST_F(MZContentViewControllerTest, ClosingARowMovesTheRowsBelowUpAndDestroysItAfterItsClick) {
    const int h = rowHeight();
    for (qsizetype index : {0, 4, 9}) {
        MZContentViewController fresh;
        fresh.show();
        deallocs = 0;
        auto before = tops(fresh);
        QPointer<MZPairViewController> closed = fresh.items()[index];
        click(closed, "closeButton");
        EXPECT_TRUE(closed) << "destroyed while its click was handled, row " << index;
        EXPECT_FALSE(fresh.items().contains(closed.data())) << index;
        EXPECT_NE(closed->parentWidget(), fresh.desktopView()) << index;
        finishClick();
        EXPECT_FALSE(closed) << index;
        EXPECT_EQ(deallocs, 1) << index;

        before.erase(before.begin() + index);
        for (size_t i = size_t(index); i < before.size(); ++i) before[i] -= h + 5;
        EXPECT_EQ(tops(fresh), before) << index;
        EXPECT_EQ(fresh.desktopView()->height(), 55 + 10 * h - (h + 5)) << index;
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
    EXPECT_EQ(list.desktopView()->height(), 5 + rowHeight() + 5);
    EXPECT_EQ(deallocs, 0);
}

TEST_F(MZContentViewControllerTest, AppendingPutsTheNewRowInTheClickedRowsPlace) {
    const int h = rowHeight();
    for (qsizetype k : {0, 4, 9}) {
        MZContentViewController fresh;
        fresh.show();
        const QList<MZPairViewController *> before = fresh.items();
        click(before[k], "appendButton");
        const QList<MZPairViewController *> &after = fresh.items();
        ASSERT_EQ(after.size(), 11) << k;
        EXPECT_FALSE(before.contains(after[k])) << k;
        EXPECT_EQ(after[k]->parentWidget(), fresh.desktopView()) << k;
        EXPECT_TRUE(after[k]->isVisible()) << k;
        EXPECT_EQ(after[k + 1], before[k]) << k;
        EXPECT_EQ(after[k]->y(), 5 + int(k) * (h + 5)) << k;
        EXPECT_EQ(after[k + 1]->y(), 5 + int(k + 1) * (h + 5)) << k;
        EXPECT_EQ(fresh.desktopView()->height(), 55 + 11 * h + 5) << k;

        click(after[k], "appendButton");  // a new row's buttons work as well
        EXPECT_EQ(fresh.items().size(), 12) << k;
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
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentIndex(), 0);
    ASSERT_EQ(tabs->tabText(1), QStringLiteral("Pairs"));
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    auto *list = tabs->currentWidget()->findChild<MZContentViewController *>();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(list->items().first()->isVisible());

    click(list->items().first(), "appendButton");
    EXPECT_EQ(list->items().size(), 11);
    click(list->items().first(), "closeButton");
    click(list->items().first(), "closeButton");
    finishClick();
    EXPECT_EQ(list->items().size(), 9);
}

}  // namespace
