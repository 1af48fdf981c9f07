#include "platform/linux/X11FrontProcessWatcher.h"
#include "tests/platform/NamedChildProcess.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr int WaitMs = 5000;
using Front = FrontProcessSource::Front;

bool sameName(const QString &a, const QString &b) { return a.isNull() == b.isNull() && a == b; }

QByteArray windowClass(const char *instance, const char *cls) {
    return QByteArray(instance) + '\0' + QByteArray(cls) + '\0';
}

// An EWMH desktop on a server that keeps no record of its clients' processes, so that the
// windows' own properties tell the name. (The server's record, which wins where there is one,
// is what the desktop tests see.)
class X11FrontProcessWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(
            m_server.start({}, {QStringLiteral("-extension"), QStringLiteral("X-Resource")}))
            << "Xvfb did not come up";
        m_client = std::make_unique<X11TestClient>(display());
        ASSERT_TRUE(m_client->isConnected());
        m_windowManager = m_client->announceWindowManager();
        m_baseline = m_client->createWindow();
        m_client->setWindowClass(m_baseline, windowClass("base", "Baseline"));
    }

    QByteArray display() const { return m_server.display().toLocal8Bit(); }

    std::unique_ptr<X11FrontProcessWatcher> startWatcher() {
        auto watcher = X11FrontProcessWatcher::create(display());
        if (!watcher) {
            ADD_FAILURE() << watcher.failure().message.toStdString();
            return nullptr;
        }
        return watcher.take();
    }

    // Puts a known window in front so that a following change to "no name" is observable.
    void showBaseline(const X11FrontProcessWatcher &watcher) {
        m_client->activate(m_baseline);
        expectName(watcher, QStringLiteral("Baseline"));
    }

    // A name means Front::Named; no name, the front given.
    static void expectName(const X11FrontProcessWatcher &watcher, const QString &expected,
                           Front front = Front::UnknownProcess) {
        if (!expected.isNull()) front = Front::Named;
        const bool reached = QTest::qWaitFor(
            [&] {
                return watcher.front() == front && sameName(watcher.frontProcessName(), expected);
            },
            WaitMs);
        EXPECT_TRUE(reached) << "expected " << int(front) << " "
                             << (expected.isNull() ? "no name" : expected.toStdString())
                             << ", have " << int(watcher.front()) << " "
                             << (watcher.frontProcessName().isNull()
                                     ? "no name"
                                     : watcher.frontProcessName().toStdString());
    }

    XvfbServer m_server;
    std::unique_ptr<X11TestClient> m_client;
    xcb_window_t m_windowManager = XCB_NONE;
    xcb_window_t m_baseline = XCB_NONE;
};

TEST_F(X11FrontProcessWatcherTest, NamesTheOwningProcessWithLetterCaseKept) {
    NamedChildProcess game("Warcraft III.exe");
    NamedChildProcess lower("warcraft iii");
    ASSERT_GT(game.pid(), 0);
    ASSERT_GT(lower.pid(), 0);
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);

    const struct {
        pid_t pid;
        QString expected;
    } cases[] = {
        {game.pid(), QStringLiteral("Warcraft III.ex")},  // the kernel keeps 15 bytes
        {lower.pid(), QStringLiteral("warcraft iii")},
        {game.pid(), QStringLiteral("Warcraft III.ex")},
    };
    for (const auto &c : cases) {
        const xcb_window_t window = m_client->createWindow();
        m_client->setPid(window, uint32_t(c.pid));
        // The process name wins over the class.
        m_client->setWindowClass(window, windowClass("wine", "Explorer"));
        m_client->activate(window);
        expectName(*watcher, c.expected);
    }
}

TEST_F(X11FrontProcessWatcherTest, KnowsTheWindowThatWasActiveBeforeItStarted) {
    m_client->activate(m_baseline);
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    expectName(*watcher, QStringLiteral("Baseline"));
}

TEST_F(X11FrontProcessWatcherTest, FallsBackToTheWindowClassWithoutAUsablePid) {
    pid_t gonePid = -1;
    {
        NamedChildProcess gone("gone");
        gonePid = gone.pid();
    }
    const uint32_t fakePid = 4242;
    const uint16_t shortPid[] = {4242};
    const struct {
        const char *what;
        std::function<void(X11TestClient &, xcb_window_t)> setPid;
    } cases[] = {
        {"no pid", [](X11TestClient &, xcb_window_t) {}},
        {"pid of a process that has ended",
         [&](X11TestClient &c, xcb_window_t w) { c.setPid(w, uint32_t(gonePid)); }},
        {"pid zero", [](X11TestClient &c, xcb_window_t w) { c.setPid(w, 0); }},
        {"pid beyond any process id",
         [](X11TestClient &c, xcb_window_t w) { c.setPid(w, 0xFFFFFFFFu); }},
        {"pid of type STRING",
         [](X11TestClient &c, xcb_window_t w) {
             c.setProperty(w, c.atom("_NET_WM_PID"), XCB_ATOM_STRING, 8, "4242", 4);
         }},
        {"pid in 16-bit format",
         [&](X11TestClient &c, xcb_window_t w) {
             c.setProperty(w, c.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 16, shortPid, 1);
         }},
        {"empty pid",
         [&](X11TestClient &c, xcb_window_t w) {
             c.setProperty(w, c.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &fakePid, 0);
         }},
    };
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        showBaseline(*watcher);
        const xcb_window_t window = m_client->createWindow();
        m_client->setWindowClass(window, windowClass("game", "Fallback Class"));
        c.setPid(*m_client, window);
        m_client->activate(window);
        expectName(*watcher, QStringLiteral("Fallback Class"));
    }
}

TEST_F(X11FrontProcessWatcherTest, NoNameForMissingOrMalformedData) {
    const uint32_t nothing = 0;
    const struct {
        const char *what;
        std::function<void(X11TestClient &)> arrange;
        Front front = Front::UnknownProcess;
    } cases[] = {
        {"active window None (a native Wayland window in front)",
         [](X11TestClient &c) { c.activate(XCB_NONE); }, Front::NoWindow},
        {"active window property empty",
         [&](X11TestClient &c) {
             c.setProperty(c.root(), c.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, &nothing,
                           0);
         },
         Front::NoWindow},
        {"active window of type CARDINAL",
         [this](X11TestClient &c) {
             c.setProperty(c.root(), c.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_CARDINAL, 32,
                           &m_baseline, 1);
         },
         Front::NoWindow},
        {"active window in 8-bit format",
         [this](X11TestClient &c) {
             c.setProperty(c.root(), c.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 8, &m_baseline,
                           4);
         },
         Front::NoWindow},
        {"active window that no longer exists",
         [](X11TestClient &c) {
             const xcb_window_t window = c.createWindow();
             c.setWindowClass(window, windowClass("gone", "Gone"));
             c.destroyWindow(window);
             c.activate(window);
         }},
        {"window without any property", [](X11TestClient &c) { c.activate(c.createWindow()); }},
        {"class without its class part",
         [](X11TestClient &c) {
             const xcb_window_t window = c.createWindow();
             c.setProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, "instance", 8);
             c.activate(window);
         }},
        {"class part empty",
         [](X11TestClient &c) {
             const xcb_window_t window = c.createWindow();
             c.setWindowClass(window, windowClass("instance", ""));
             c.activate(window);
         }},
        {"class of type CARDINAL",
         [](X11TestClient &c) {
             const xcb_window_t window = c.createWindow();
             const uint32_t words[] = {0x00616100, 0x00626200};
             c.setProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_CARDINAL, 32, words, 2);
             c.activate(window);
         }},
    };
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        // Starting from a name each time also shows the watcher is not wedged by the last case.
        showBaseline(*watcher);
        c.arrange(*m_client);
        expectName(*watcher, QString(), c.front);
    }
    showBaseline(*watcher);
}

TEST_F(X11FrontProcessWatcherTest, FollowsPropertiesSetAfterTheWindowBecameActive) {
    NamedChildProcess game("Warcraft III.exe");
    NamedChildProcess lower("warcraft iii");
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    showBaseline(*watcher);

    const xcb_window_t window = m_client->createWindow();
    m_client->activate(window);
    expectName(*watcher, QString());
    m_client->setWindowClass(window, windowClass("late", "Late Class"));
    expectName(*watcher, QStringLiteral("Late Class"));
    m_client->setPid(window, uint32_t(game.pid()));
    expectName(*watcher, QStringLiteral("Warcraft III.ex"));
    m_client->setPid(window, uint32_t(lower.pid()));
    expectName(*watcher, QStringLiteral("warcraft iii"));
}

TEST_F(X11FrontProcessWatcherTest, ActiveWindowDestroyedLeavesNoName) {
    NamedChildProcess game("Warcraft III.exe");
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    const xcb_window_t window = m_client->createWindow();
    m_client->setPid(window, uint32_t(game.pid()));
    m_client->activate(window);
    expectName(*watcher, QStringLiteral("Warcraft III.ex"));

    m_client->destroyWindow(window);
    expectName(*watcher, QString(), Front::NoWindow);
    showBaseline(*watcher);
}

TEST_F(X11FrontProcessWatcherTest, ReportsChangesOnlyWhenTheNameChanges) {
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    showBaseline(*watcher);
    QSignalSpy spy(watcher.get(), &X11FrontProcessWatcher::frontProcessNameChanged);

    // A window manager rewriting the same active window, and other root properties changing.
    m_client->activate(m_baseline);
    const uint32_t count = 3;
    m_client->setProperty(m_client->root(), m_client->atom("_NET_NUMBER_OF_DESKTOPS"),
                          XCB_ATOM_CARDINAL, 32, &count, 1);
    const xcb_window_t other = m_client->createWindow();
    m_client->setWindowClass(other, windowClass("other", "Other"));
    m_client->activate(other);
    expectName(*watcher, QStringLiteral("Other"));

    // No name while the new window's properties are being read, then its name.
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy.at(0).at(0).toString().isNull());
    EXPECT_EQ(spy.at(1).at(0).toString(), QStringLiteral("Other"));
}

TEST_F(X11FrontProcessWatcherTest, ServerGoneLeavesNoNameAndSaysSo) {
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    showBaseline(*watcher);
    QSignalSpy lost(watcher.get(), &X11FrontProcessWatcher::connectionLost);

    m_server.stop();
    ASSERT_TRUE(lost.wait(WaitMs) || lost.count() == 1);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(watcher->front(), Front::Unwatched);
    EXPECT_TRUE(watcher->frontProcessName().isNull());
    EXPECT_FALSE(watcher->isConnected());
    // The dead connection keeps quiet afterwards.
    QTest::qWait(50);
    EXPECT_EQ(lost.count(), 1);
}

TEST_F(X11FrontProcessWatcherTest, FollowsTheInputFocusWithoutAWindowManager) {
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    showBaseline(*watcher);
    X11TestClient &c = *m_client;
    const xcb_window_t alpha = c.showWindow(0);
    const xcb_window_t beta = c.showWindow(200);
    const xcb_window_t inBeta = c.showWindow(10, beta);
    c.setWindowClass(alpha, windowClass("a", "Alpha"));
    c.setWindowClass(beta, windowClass("b", "Beta"));
    c.setWindowClass(inBeta, windowClass("c", "Inside Beta"));
    const struct {
        const char *what;
        std::function<void()> arrange;
        QString expected;
        Front front = Front::Named;
    } cases[] = {
        // The active window property stays behind, naming the baseline; the focus follows the
        // pointer, which rests on the bare root.
        {"the window manager quits",
         [&] { c.destroyWindow(m_windowManager); },
         {},
         Front::NoWindow},
        {"focus inside another top-level", [&] { c.focus(inBeta); }, QStringLiteral("Beta")},
        {"no focus", [&] { c.focus(XCB_NONE); }, {}, Front::NoWindow},
        {"a window manager starts",
         [&] {
             c.activate(alpha);
             c.announceWindowManager();
         },
         QStringLiteral("Alpha")},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.what);
        row.arrange();
        expectName(*watcher, row.expected, row.front);
    }
}

TEST_F(X11FrontProcessWatcherTest, NamesAWindowThatGotTheIdOfTheActiveWindowBeforeIt) {
    // A window manager leaves the id of a window that has gone; a new client gets the same
    // ids and its window is made active under the id already there.
    auto gone = std::make_unique<X11TestClient>(display());
    const xcb_window_t stale = gone->createWindow();
    gone->activate(stale);
    gone.reset();
    X11TestClient next(display());
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    // Time to look at the stale id first, as a watcher that started earlier did.
    QTest::qWait(200);
    const xcb_window_t window = next.createWindow();
    if (window != stale) GTEST_SKIP() << "the server gave the new client other ids";
    next.setWindowClass(window, windowClass("new", "New Window"));
    next.activate(window);
    expectName(*watcher, QStringLiteral("New Window"));
}

TEST_F(X11FrontProcessWatcherTest, TellsNothingWhileNotWatchedAndCatchesUpAtOnce) {
    auto watcher = startWatcher();
    ASSERT_TRUE(watcher);
    showBaseline(*watcher);
    QSignalSpy spy(watcher.get(), &X11FrontProcessWatcher::frontProcessNameChanged);
    watcher->setWatching(false);
    EXPECT_EQ(watcher->front(), Front::Unwatched);
    const xcb_window_t other = m_client->createWindow();
    m_client->setWindowClass(other, windowClass("other", "Other"));
    m_client->activate(other);
    QTest::qWait(50);
    EXPECT_EQ(spy.count(), 1);
    watcher->setWatching(true);
    expectName(*watcher, QStringLiteral("Other"));
}

TEST(X11FrontProcessWatcherCreate, GivesAReasonWhenNoServerAnswers) {
    int unused = 1999;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(unused))) ++unused;
    const QByteArray displays[] = {":" + QByteArray::number(unused), "not a display name"};
    for (const QByteArray &display : displays) {
        SCOPED_TRACE(display.toStdString());
        const auto watcher = X11FrontProcessWatcher::create(display);
        ASSERT_FALSE(watcher);
        const QString whyNot = watcher.failure().message;
        EXPECT_TRUE(whyNot.startsWith(QStringLiteral("X server unreachable")))
            << whyNot.toStdString();
        EXPECT_TRUE(whyNot.contains(QString::fromLatin1(display))) << whyNot.toStdString();
    }
}

}  // namespace
