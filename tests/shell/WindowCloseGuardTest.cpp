#include "shell/WindowCloseGuard.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

int visibleNotices() {
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox *>(widget) && widget->isVisible()) ++count;
    return count;
}

void closeNotices() {
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox *>(widget)) widget->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(WindowCloseGuard, WithoutATrayClosingTheWindowAsksToQuit) {
    QWidget window;
    WindowCloseGuard guard(&window, [] { return false; });
    QSignalSpy quit(&guard, &WindowCloseGuard::quitRequested);
    window.show();
    window.close();
    EXPECT_EQ(quit.count(), 1);
    EXPECT_EQ(visibleNotices(), 0);
}

TEST(WindowCloseGuard, WithATrayOnlyTheFirstCloseEverSaysVelmoraKeepsRunning) {
    QStandardPaths::setTestModeEnabled(true);
    QSettings().remove(WindowCloseGuard::NoticeShownKey);
    QWidget window;
    {
        WindowCloseGuard guard(&window, [] { return true; });
        QSignalSpy quit(&guard, &WindowCloseGuard::quitRequested);
        window.show();
        window.close();
        EXPECT_EQ(visibleNotices(), 1);
        closeNotices();
        window.show();
        window.close();
        EXPECT_EQ(visibleNotices(), 0);
        EXPECT_EQ(quit.count(), 0);
    }
    WindowCloseGuard nextRun(&window, [] { return true; });
    window.show();
    window.close();
    EXPECT_EQ(visibleNotices(), 0) << "remembered in the settings";
    QSettings().remove(WindowCloseGuard::NoticeShownKey);
}

}  // namespace
