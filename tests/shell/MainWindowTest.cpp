#include "pairs/MZContentViewController.h"
#include "pairs/MZPairViewController.h"
#include "shell/MainWindow.h"
#include "tests/support/TemporarySettings.h"

#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void click(MZPairViewController *row, const char *buttonName) {
    QTest::mouseClick(row->findChild<QPushButton *>(buttonName), Qt::LeftButton);
}

TEST(MainWindow, APersonReachesThePairsTabAndEditsTheList) {
    TemporarySettings settings;
    MainWindow window;
    window.show();
    auto *tabs = window.findChild<QTabWidget *>();
    ASSERT_EQ(tabs->tabText(1), QStringLiteral("Pair&s"));
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    auto *list = tabs->currentWidget()->findChild<MZContentViewController *>();
    ASSERT_TRUE(list && list->items().first()->isVisible());

    click(list->items().first(), "appendButton");
    click(list->items().first(), "closeButton");
    click(list->items().first(), "closeButton");
    // Rows closed "later" go here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(list->items().size(), 9);
}

}  // namespace
