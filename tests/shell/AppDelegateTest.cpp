#include "platform/KeyboardEvent.h"
#include "platform/UrlOpener.h"
#include "platform/linux/KeyboardTap.h"
#include "platform/linux/X11FrontProcessWatcher.h"
#include "remap/EventCallback.h"
#include "remap/MZDotaContentViewController.h"
#include "remap/MZRecorderControl.h"
#include "shell/AppDelegate.h"

#include <QCheckBox>
#include <QPushButton>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

QList<QUrl> openedUrls;

struct RecordingOpener : UrlOpener {
    void openUrl(const QUrl &url) override { openedUrls.append(url); }
};

AppDelegate::Platform unavailablePlatform() {
    return {
        [](QString *whyNot) {
            *whyNot = QStringLiteral("no /dev/uinput");
            return std::unique_ptr<KeyboardTap>();
        },
        [](QString *whyNot) {
            *whyNot = QStringLiteral("no X server");
            return std::unique_ptr<X11FrontProcessWatcher>();
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

TEST_F(AppDelegateTest, CallbackReadsTheLiveRecordersButNeedsTheGameInFront) {
    delegate.contentVC()->control3()->setKeyCombo({0, 12});
    EXPECT_EQ(delegate.slotKeyCombo(3), (KeyCombo{0, 12}));
    EXPECT_EQ(delegate.slotKeyCombo(7), KeyCombo{});
    QCheckBox on;
    on.setChecked(true);
    delegate.startClick(&on);
    KeyboardEvent q(12, true, 0x100);
    // No watcher means no front application, so nothing is remapped.
    EXPECT_EQ(eventCallback(nullptr, TapEvent::KeyDown, &q, nullptr), &q);
}

}  // namespace
