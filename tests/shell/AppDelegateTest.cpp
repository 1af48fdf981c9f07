#include "platform/UrlOpener.h"
#include "recorder/MZRecorderControl.h"
#include "remap/MZDotaContentViewController.h"
#include "shell/AppDelegate.h"
#include "shell/VelmoraTray.h"
#include "tests/support/FakeEventTap.h"
#include "tests/support/FakeFrontProcessSource.h"
#include "tests/support/WidgetInput.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QList<QUrl> openedUrls;

struct RecordingOpener : UrlOpener {
    void openUrl(const QUrl &url) override { openedUrls.append(url); }
};

AppDelegate::Platform unavailablePlatform() {
    return {
        [] { return Failure{QStringLiteral("no /dev/uinput")}; },
        [] { return Failure{QStringLiteral("no X server")}; },
        [] { return std::make_unique<RecordingOpener>(); },
    };
}

std::function<Result<std::unique_ptr<FrontProcessSource>>()> fakeFront(
    FakeFrontProcessSource **front) {
    return [front]() -> Result<std::unique_ptr<FrontProcessSource>> {
        auto made = std::make_unique<FakeFrontProcessSource>();
        *front = made.get();
        return std::unique_ptr<FrontProcessSource>(std::move(made));
    };
}

// The fakes stay owned by the delegate; the test keeps a look at them.
AppDelegate::Platform fakePlatform(FakeEventTap **tap, FakeFrontProcessSource **front) {
    return {
        [tap]() -> Result<std::unique_ptr<EventTap>> {
            auto made = std::make_unique<FakeEventTap>();
            *tap = made.get();
            return std::unique_ptr<EventTap>(std::move(made));
        },
        fakeFront(front),
        [] { return std::make_unique<RecordingOpener>(); },
    };
}

template <typename T>
T *child(const AppDelegate &delegate, const char *name) {
    return delegate.window()->findChild<T *>(QString::fromLatin1(name));
}

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        QStandardPaths::setTestModeEnabled(true);
        // Nothing listens there: the update request fails at once.
        qputenv("VELMORA_UPDATE_ENDPOINT", "http://127.0.0.1:1/velmora/info.php");
        delegate.applicationDidFinishLaunching();
    }
    AppDelegate delegate{unavailablePlatform()};
};

TEST_F(AppDelegateTest, LaunchPutsThePanelInsideTheWorkViewWithAFivePointMargin) {
    ASSERT_NE(delegate.contentVC(), nullptr);
    QCoreApplication::sendPostedEvents();  // the layout's work
    EXPECT_EQ(delegate.contentVC()->parentWidget(), delegate.workView());
    EXPECT_EQ(delegate.contentVC()->geometry(), delegate.workView()->rect().adjusted(5, 5, -5, -5));
    EXPECT_TRUE(delegate.window()->isVisible());
}

TEST_F(AppDelegateTest, AMissingTapIsExplainedAndNeverUsed) {
    EXPECT_FALSE(delegate.isTapRunning());
    EXPECT_TRUE(delegate.statusText().contains(QStringLiteral("no /dev/uinput")));
    delegate.shutdown();  // nothing to release, nothing to crash on
}

TEST_F(AppDelegateTest, SwitchFollowsTheButtonState) {
    EXPECT_FALSE(delegate.remapSwitch()) << "off after launch";
    QCheckBox box;
    box.setTristate(true);
    const struct {
        Qt::CheckState state;
        bool on;
    } cases[] = {{Qt::Checked, true},
                 {Qt::Unchecked, false},
                 {Qt::Checked, true},
                 {Qt::PartiallyChecked, false}};
    for (const auto &c : cases) {
        box.setCheckState(c.state);
        delegate.startClick(&box);
        EXPECT_EQ(delegate.remapSwitch(), c.on) << c.state;
    }
    QPushButton plain;  // a button that cannot be on
    delegate.startClick(&plain);
    EXPECT_FALSE(delegate.remapSwitch());
}

TEST_F(AppDelegateTest, TabThroughTheWindowKeepsEverySlot) {
    const auto recorders = delegate.contentVC()->controls();
    for (size_t i = 0; i < recorders.size(); ++i) recorders[i]->setKeyCombo({0, int64_t(i)});
    const SlotCombos before = delegate.contentVC()->keyCombos();
    QApplication::setActiveWindow(delegate.window());
    if (!QTest::qWaitForWindowActive(delegate.window())) GTEST_SKIP() << "no window activation";
    recorders[0]->setFocus(Qt::TabFocusReason);
    QSet<QWidget *> visited;
    for (int i = 0; i < 20; ++i) {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        visited.insert(focus);
        QTest::keyClick(focus, Qt::Key_Tab);
        if (qobject_cast<MZRecorderControl *>(focus)) {
            EXPECT_EQ(QApplication::focusWidget()->parentWidget(), focus) << "its clear button";
        }
        for (MZRecorderControl *recorder : recorders) EXPECT_FALSE(recorder->isRecording());
    }
    for (MZRecorderControl *recorder : recorders) EXPECT_TRUE(visited.contains(recorder));
    EXPECT_EQ(delegate.contentVC()->keyCombos(), before);
}

TEST_F(AppDelegateTest, TheLinkButtonsOpenTheirPages) {
    openedUrls.clear();
    for (const char *name : {"homeButton", "weiboButton"})
        delegate.window()->findChild<QPushButton *>(QString::fromLatin1(name))->click();
    EXPECT_EQ(openedUrls, QList<QUrl>({QUrl(QStringLiteral(VELMORA_HOME_URL)),
                                       QUrl(QStringLiteral(VELMORA_WEIBO_URL))}));
}

TEST_F(AppDelegateTest, TheWindowKeepsItsWidthWhenDownloadAppears) {
    const int width = delegate.window()->width();
    child<QPushButton>(delegate, "updateButton")->show();
    child<QLabel>(delegate, "versionFiled")
        ->setText(QStringLiteral(u"当前版本：1.0.0 最新版本：10.20.30"));
    delegate.window()->layout()->activate();
    EXPECT_EQ(delegate.window()->width(), width);
}

TEST_F(AppDelegateTest, ReopenBringsAClosedWindowBackAndAlwaysAnswersYes) {
    delegate.window()->close();
    EXPECT_FALSE(delegate.window()->isVisible());
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
    EXPECT_TRUE(delegate.window()->isVisible());
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));
}

TEST_F(AppDelegateTest, AMissingFrontApplicationMeansNothingIsRemapped) {
    QCheckBox on;
    on.setChecked(true);
    delegate.startClick(&on);
    EXPECT_FALSE(delegate.remapController().state().gameInFront);
}

class AppDelegateWithFakePlatform : public ::testing::Test {
protected:
    void SetUp() override {
        QStandardPaths::setTestModeEnabled(true);
        delegate.applicationDidFinishLaunching();
    }
    FakeEventTap *tap = nullptr;
    FakeFrontProcessSource *front = nullptr;
    AppDelegate delegate{fakePlatform(&tap, &front)};
};

// The window's switch and the tray's are one; the switch says plainly where it stands, and a
// chat pause shows in the status line and the tray once the key that began it is through.
TEST_F(AppDelegateWithFakePlatform, TheSwitchShowsItsStateInTheWindowAndTheTray) {
    auto *tray = delegate.findChild<VelmoraTray *>();
    ASSERT_NE(tray, nullptr);
    auto *button = child<QPushButton>(delegate, "switchButton");
    EXPECT_TRUE(button->text().contains(QStringLiteral("OFF")));
    EXPECT_FALSE(front->isWatching()) << "nobody needs the front application yet";
    tray->switchAction()->trigger();
    EXPECT_TRUE(delegate.remapSwitch());
    EXPECT_TRUE(front->isWatching());
    EXPECT_TRUE(button->isChecked());
    EXPECT_TRUE(button->text().contains(QStringLiteral("ON")));
    EXPECT_EQ(button->property("mode").toByteArray(), "waiting") << "the game is not in front";
    front->setFront(QStringLiteral("Warcraft III"));
    EXPECT_EQ(button->property("mode").toByteArray(), "") << "the game is in front";
    EXPECT_TRUE(tray->trayIcon()->toolTip().contains(QStringLiteral("Remapping on")));
    button->click();
    EXPECT_FALSE(tray->switchAction()->isChecked());
    EXPECT_FALSE(front->isWatching());
    EXPECT_TRUE(tray->trayIcon()->toolTip().contains(QStringLiteral("Remapping off")));

    auto *chatBox = child<QCheckBox>(delegate, "chatPauseBox");
    EXPECT_FALSE(chatBox->isChecked()) << "off by default";
    chatBox->click();
    EXPECT_TRUE(QSettings().value(AppDelegate::ChatPauseSettingsKey).toBool());
    EXPECT_TRUE(tap->state.chatPauseEnabled);
    button->click();
    tap->setChatPaused(true);
    auto *label = child<QLabel>(delegate, "statusLabel");
    EXPECT_TRUE(label->text().contains(QStringLiteral("paused")));
    EXPECT_TRUE(tray->trayIcon()->toolTip().contains(QStringLiteral("paused")));
    chatBox->click();
    EXPECT_FALSE(tap->state.chatPauseEnabled);
    EXPECT_FALSE(QSettings().value(AppDelegate::ChatPauseSettingsKey).toBool());
}

// A key recorded in the window is what the tap is told, and so is whether the game is in front.
TEST_F(AppDelegateWithFakePlatform, ARecordedSlotKeyIsRemappedWhileTheGameIsInFront) {
    ASSERT_TRUE(tap && front);
    front->setFront(QStringLiteral("Warcraft III.exe"));
    delegate.contentVC()->control3()->clear();
    type(delegate.contentVC()->control3(), Qt::Key_Q);
    click(delegate.window(), "switchButton");
    EXPECT_TRUE(delegate.statusText().contains(QStringLiteral("Warcraft III.exe")));
    EXPECT_TRUE(tap->state.remapSwitch);
    EXPECT_TRUE(tap->state.gameInFront);
    EXPECT_EQ(tap->state.slotTable[2].slotKeyCode, 12);
    front->setFront(QStringLiteral("xterm"));
    EXPECT_FALSE(tap->state.gameInFront);
    delegate.shutdown();
    EXPECT_EQ(tap->shutDown, 1);
}

}  // namespace
