#include "launcher/LauncherWindow.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(LauncherWindow, KeepsItsWidthAndFitsAScreenOf1024x768WhateverItSays) {
    LauncherWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QSize shortText = window.size();
    const QString path = QStringLiteral("/home/someone/") + QString(200, QLatin1Char('x'));
    const QString word = QStringLiteral("a sentence of words ");
    for (const QString &text : {path, word.repeated(30), word.repeated(2000)}) {
        window.setStatusText(text);
        QCoreApplication::processEvents();
        EXPECT_EQ(window.width(), shortText.width());
        EXPECT_LE(window.height(), 768 - 100) << "room for a title bar and a panel";
    }
    window.setStatusText(QStringLiteral("Short."));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), shortText) << "the window shrinks back";
}

TEST(LauncherWindow, EscapeClosesItAndItsButtonsHaveMnemonics) {
    LauncherWindow window;
    window.setRetryText(QStringLiteral("&Retry"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy retried(&window, &LauncherWindow::retryRequested);
    // A mnemonic clicks its button as a press would look, a moment later.
    QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return retried.size() == 1; }));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }));
}

}  // namespace
