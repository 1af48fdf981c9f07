#include "platform/KeyboardEvent.h"
#include "platform/UrlOpener.h"
#include "remap/EventCallback.h"
#include "remap/MZDotaContentViewController.h"
#include "remap/MZRecorderControl.h"
#include "shell/AppDelegate.h"
#include "tests/support/FakeEventTap.h"
#include "tests/support/FakeFrontProcessSource.h"

#include <QCheckBox>
#include <QPushButton>
#include <QStandardPaths>
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

// The fakes stay owned by the delegate; the test keeps a look at them.
AppDelegate::Platform fakePlatform(FakeEventTap **tap, FakeFrontProcessSource **front) {
    return {
        [tap]() -> Result<std::unique_ptr<EventTap>> {
            auto made = std::make_unique<FakeEventTap>();
            *tap = made.get();
            return std::unique_ptr<EventTap>(std::move(made));
        },
        [front]() -> Result<std::unique_ptr<FrontProcessSource>> {
            auto made = std::make_unique<FakeFrontProcessSource>();
            *front = made.get();
            return std::unique_ptr<FrontProcessSource>(std::move(made));
        },
        [] { return std::make_unique<RecordingOpener>(); },
    };
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
    EXPECT_EQ(delegate.contentVC()->parentWidget(), delegate.workView());
    EXPECT_EQ(delegate.contentVC()->geometry(), delegate.workView()->rect().adjusted(5, 5, -5, -5));
    EXPECT_EQ(selfPoint, &delegate);
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

TEST_F(AppDelegateTest, TheWindowSwitchDrivesRemapping) {
    auto *button = delegate.window()->findChild<QPushButton *>(QStringLiteral("switchButton"));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_TRUE(delegate.remapSwitch());
    EXPECT_TRUE(delegate.statusText().startsWith(QStringLiteral("Remapping on")));
    button->click();
    EXPECT_FALSE(delegate.remapSwitch());
}

TEST_F(AppDelegateTest, TheLinkButtonsOpenTheirPages) {
    openedUrls.clear();
    for (const char *name : {"homeButton", "weiboButton"})
        delegate.window()->findChild<QPushButton *>(QString::fromLatin1(name))->click();
    EXPECT_EQ(openedUrls, QList<QUrl>({QUrl(QStringLiteral(VELMORA_HOME_URL)),
                                       QUrl(QStringLiteral(VELMORA_WEIBO_URL))}));
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
    KeyboardEvent q(12, true, 0x100);
    EXPECT_EQ(eventCallback(nullptr, TapEvent::KeyDown, &q, nullptr), &q);
}

// A key recorded in the window is what the tap side remaps, from the next key event on,
// and the status line follows the front application.
TEST(AppDelegateWithFakePlatform, ARecordedSlotKeyIsRemappedWhileTheGameIsInFront) {
    QStandardPaths::setTestModeEnabled(true);
    FakeEventTap *tap = nullptr;
    FakeFrontProcessSource *front = nullptr;
    AppDelegate delegate(fakePlatform(&tap, &front));
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(tap && front);
    front->setFront(QStringLiteral("Warcraft III.exe"));
    EXPECT_TRUE(delegate.statusText().contains(QStringLiteral("Warcraft III.exe")));
    auto *slot3 = delegate.contentVC()->control3();
    slot3->clear();
    QTest::mouseClick(slot3, Qt::LeftButton);
    QTest::keyClick(slot3, Qt::Key_Q);
    auto *button = delegate.window()->findChild<QPushButton *>(QStringLiteral("switchButton"));
    button->click();
    EXPECT_EQ(tap->rearmed, 1) << "switching on takes the keyboards back";

    KeyboardEvent q(12, true, 0x100);
    TapEvent *made = eventCallback(nullptr, TapEvent::KeyDown, &q, nullptr);
    ASSERT_NE(made, &q);
    EXPECT_EQ(std::unique_ptr<TapEvent>(made)->keyCode(), 86);
    front->setFront(QStringLiteral("xterm"));
    EXPECT_EQ(eventCallback(nullptr, TapEvent::KeyDown, &q, nullptr), &q);
    delegate.shutdown();
    EXPECT_EQ(tap->shutDown, 1);
}

}  // namespace
