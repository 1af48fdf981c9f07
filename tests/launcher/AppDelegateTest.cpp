#include "launcher/AppDelegate.h"
#include "launcher/LXBundle.h"
#include "launcher/LauncherWindow.h"
#include "tests/launcher/FakeAuthorization.h"
#include "tests/launcher/ScriptFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cerrno>

namespace {

constexpr int endTimeoutMs = 10000;

bool hasNoChildren() { return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

// A launcher folder whose resources may carry a Velmora.app made of a shell script.
class LauncherAppDelegateTest : public ::testing::Test {
protected:
    LauncherAppDelegateTest()
        : m_previousHelper(qgetenv(AppDelegate::authorizationHelperVariable)) {
        qputenv(AppDelegate::authorizationHelperVariable, FakeAuthorization::helperPath);
    }
    ~LauncherAppDelegateTest() override {
        if (m_previousHelper.isEmpty())
            qunsetenv(AppDelegate::authorizationHelperVariable);
        else
            qputenv(AppDelegate::authorizationHelperVariable, m_previousHelper);
    }

    // The launcher's folder sits one level down, as in the build tree, so that what it looks
    // for beside itself stays inside the test's folder.
    QString launcherPath() const { return m_launcher.path() + QStringLiteral("/launcher"); }
    QString appPath() const { return launcherPath() + QStringLiteral("/Resources/Velmora.app"); }

    void writeApp(const QByteArray &info, const QByteArray &velmoraBody) {
        ASSERT_TRUE(QDir().mkpath(appPath()));
        m_launcher.write(QStringLiteral("launcher/Resources/Velmora.app/Velmora"), velmoraBody);
        QFile infoFile(appPath() + QLatin1Char('/') + LXBundle::infoFileName);
        ASSERT_TRUE(infoFile.open(QIODevice::WriteOnly));
        infoFile.write(info);
    }

    void start() {
        m_delegate.setWindow(&m_window);
        m_delegate.applicationDidFinishLaunching();
    }

    bool waitForStatus(const QString &text) {
        QSignalSpy changes(&m_delegate, &AppDelegate::statusTextChanged);
        while (m_delegate.statusText() != text)
            if (!changes.wait(endTimeoutMs)) return false;
        return true;
    }

    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(m_window.statusText(), m_delegate.statusText());
        EXPECT_TRUE(m_window.isVisible());
        EXPECT_TRUE(hasNoChildren());
    }

    QByteArray m_previousHelper;
    FakeAuthorization m_answer{"grant"};
    ScriptFolder m_launcher;
    LauncherWindow m_window;
    AppDelegate m_delegate{LXBundle(launcherPath())};
};

TEST_F(LauncherAppDelegateTest, WithoutVelmoraTheWindowSaysSoAndNothingStarts) {
    const struct {
        const char *what;
        QByteArray info;
    } cases[] = {
        {"info naming a missing file", "Executable=Missing\n"},
        {"info leaving the bundle", "Executable=../Velmora.app/Velmora\n"},
        {"info without executable", "Version=1\n"},
    };
    start();
    EXPECT_TRUE(m_delegate.statusText().contains(QStringLiteral("not found")))
        << "no Velmora.app at all";
    // Each path whole on a line of its own, and how to install.
    const QStringList lines = m_delegate.statusText().split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("    ") + appPath()))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("    sudo cmake --install build --prefix /usr")));
    for (const auto &c : cases) {
        writeApp(c.info, "touch \"$0.ran\"");
        start();
        EXPECT_TRUE(m_delegate.statusText().contains(QStringLiteral("not found"))) << c.what;
        EXPECT_FALSE(QFile::exists(appPath() + QStringLiteral("/Velmora.ran"))) << c.what;
    }
}

TEST_F(LauncherAppDelegateTest, GrantedStartRunsVelmoraWithoutArgumentsUntilItEnds) {
    // Far more output than a pipe holds: Velmora must not stall on a launcher that never reads.
    writeApp("Executable=Velmora\n",
             "printf '%s' \"$#\" > \"$0.args\"; head -c 1000000 /dev/zero; exit 0");
    start();
    EXPECT_TRUE(m_delegate.statusText().startsWith(QStringLiteral("Velmora is running")));
    ASSERT_TRUE(waitForStatus(QStringLiteral("Velmora has ended.")));
    QFile args(appPath() + QStringLiteral("/Velmora.args"));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll(), QByteArray("0"));
}

// Run from the build folder, the launcher has no Velmora in its resources but one built beside.
TEST_F(LauncherAppDelegateTest, WithoutAVelmoraInItsResourcesItStartsTheOneBuiltBesideIt) {
    const QString built = QDir::cleanPath(launcherPath() + '/' + AppDelegate::builtVelmoraPath);
    ASSERT_TRUE(built.startsWith(m_launcher.path() + '/')) << built.toStdString();
    ASSERT_TRUE(QDir().mkpath(launcherPath()));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(built).path()));
    m_launcher.write(built.mid(m_launcher.path().size() + 1), "touch \"$0.ran\"");
    start();
    ASSERT_TRUE(waitForStatus(QStringLiteral("Velmora has ended.")));
    EXPECT_TRUE(QFile::exists(built + QStringLiteral(".ran")));
}

TEST_F(LauncherAppDelegateTest, UnsuccessfulAuthorizationLeavesTheLauncherIdle) {
    const struct {
        QByteArray answer;
        QString status;
    } cases[] = {
        {"cancel", QStringLiteral("Velmora was not started: the authorization was cancelled.")},
        {"refuse", QStringLiteral("Velmora was not started: the authorization was refused.")},
    };
    writeApp("Executable=Velmora\n", "touch \"$0.ran\"");
    for (const auto &c : cases) {
        FakeAuthorization answer(c.answer);
        start();
        EXPECT_EQ(m_delegate.statusText(), c.status);
        EXPECT_FALSE(QFile::exists(appPath() + QStringLiteral("/Velmora.ran")));
    }
}

}  // namespace
