#include "pairs/MZContentViewController.h"
#include "pairs/MZPairViewController.h"
#include "shell/MainWindow.h"
#include "tests/support/TemporarySettings.h"

#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Editing the list is the list's to show; here, that a person reaches it.
TEST(MainWindow, APersonReachesThePairsTab) {
    TemporarySettings settings;
    MainWindow window;
    window.show();
    auto *tabs = window.findChild<QTabWidget *>();
    ASSERT_EQ(tabs->tabText(1), QStringLiteral("Pair&s"));
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    auto *list = tabs->currentWidget()->findChild<MZContentViewController *>();
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->items().first()->isVisible());
}

}  // namespace
