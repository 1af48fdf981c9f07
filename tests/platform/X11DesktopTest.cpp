// The front process watcher on the desktops players run the game on, with the game's Win32
// stand-in under Wine and a terminal stand-in beside it. One table per desktop: what is put in
// front, and the name the watcher must give.
#include "platform/linux/X11FrontProcessWatcher.h"
#include "tests/support/WineGame.h"
#include "tests/support/X11Desktop.h"
#include "tests/support/X11TestClient.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr int WaitMs = 10000;
constexpr int Attempts = 5;
const QString Game = QString::fromLatin1(WineGame::ProcessName);
const QString Terminal = QString::fromLatin1(X11Desktop::TerminalName);

struct InFront {
    const char *what;
    std::function<void()> bringToFront;
    QString expected;
};

class X11DesktopTest : public ::testing::Test {
protected:
    // Skips, saying why, when the desktop or the game cannot run on this machine.
    void bringUp(X11Desktop::Kind kind, WineGame::Where where = WineGame::Where::Host) {
        m_desktop = std::make_unique<X11Desktop>(kind);
        if (const QString why = m_desktop->start(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        if (const QString why = m_game.start(where); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        m_client = std::make_unique<X11TestClient>(m_desktop->display());
        ASSERT_TRUE(m_client->isConnected());
        m_gameWindow = m_client->findWindow(WineGame::Title);
        m_terminal = m_client->findWindow(X11Desktop::TerminalTitle);
        ASSERT_NE(m_gameWindow, xcb_window_t(XCB_NONE));
        ASSERT_NE(m_terminal, xcb_window_t(XCB_NONE));
        auto watcher = X11FrontProcessWatcher::create(m_desktop->display());
        ASSERT_TRUE(watcher) << watcher.failure().message.toStdString();
        m_watcher = watcher.take();
    }

    bool broughtUp() const { return !IsSkipped() && !HasFatalFailure(); }

    std::function<void()> activate(xcb_window_t window) {
        return [this, window] { m_client->requestActivation(window); };
    }

    // The game, the terminal, and the game again, as a pager asks the window manager.
    void expectActivatedWindowsNamed() {
        expectFronts({{"the game", activate(m_gameWindow), Game},
                      {"the terminal", activate(m_terminal), Terminal},
                      {"the game again", activate(m_gameWindow), Game}});
    }

    // Asked again now and then: a desktop on a loaded machine may still be settling the game's
    // own request for the front when the test asks for another window.
    void expectFronts(std::initializer_list<InFront> rows) {
        for (const InFront &row : rows) {
            SCOPED_TRACE(row.what);
            bool named = false;
            for (int attempt = 0; attempt < Attempts && !named; ++attempt) {
                row.bringToFront();
                named =
                    QTest::qWaitFor([&] { return m_watcher->frontProcessName() == row.expected; },
                                    WaitMs / Attempts);
            }
            EXPECT_TRUE(named) << "expected " << row.expected.toStdString() << ", have "
                               << (m_watcher->frontProcessName().isNull()
                                       ? "no name"
                                       : m_watcher->frontProcessName().toStdString());
        }
    }

    std::unique_ptr<X11Desktop> m_desktop;
    WineGame m_game;
    std::unique_ptr<X11TestClient> m_client;
    std::unique_ptr<X11FrontProcessWatcher> m_watcher;
    xcb_window_t m_gameWindow = XCB_NONE;
    xcb_window_t m_terminal = XCB_NONE;
};

TEST_F(X11DesktopTest, XvfbWithOpenbox) {
    bringUp(X11Desktop::Kind::Openbox);
    if (broughtUp()) expectActivatedWindowsNamed();
}

// As Flatpak and other containers run it: its own idea of its pid means nothing here.
TEST_F(X11DesktopTest, XvfbWithOpenboxGameInItsOwnPidNamespace) {
    bringUp(X11Desktop::Kind::Openbox, WineGame::Where::OwnPidNamespace);
    if (broughtUp()) expectActivatedWindowsNamed();
}

TEST_F(X11DesktopTest, XvfbWithoutWindowManager) {
    bringUp(X11Desktop::Kind::NoWindowManager);
    if (!broughtUp()) return;
    X11TestClient &c = *m_client;
    expectFronts({
        {"focus on the game", [&] { c.focus(m_gameWindow); }, Game},
        {"focus on the terminal", [&] { c.focus(m_terminal); }, Terminal},
        {"focus follows the pointer, over the game",
         [&] {
             c.movePointerInto(m_gameWindow);
             c.focus(XCB_INPUT_FOCUS_POINTER_ROOT);
         },
         Game},
        {"the pointer over the terminal", [&] { c.movePointerInto(m_terminal); }, Terminal},
    });
}

TEST_F(X11DesktopTest, MutterHeadlessXwayland) {
    bringUp(X11Desktop::Kind::Mutter);
    if (broughtUp()) expectActivatedWindowsNamed();
}

TEST_F(X11DesktopTest, SwayHeadlessXwayland) {
    bringUp(X11Desktop::Kind::Sway);
    if (broughtUp()) expectActivatedWindowsNamed();
}

}  // namespace
