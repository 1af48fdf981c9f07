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
        m_delegate.setWindow(&m_window);
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
    QString velmoraPath() const { return appPath() + QStringLiteral("/Velmora"); }

    void writeApp(const QByteArray &info, const QByteArray &velmoraBody) {
        ASSERT_TRUE(QDir().mkpath(appPath()));
        m_launcher.write(QStringLiteral("launcher/Resources/Velmora.app/Velmora"), velmoraBody);
        QFile infoFile(appPath() + QLatin1Char('/') + LXBundle::infoFileName);
        ASSERT_TRUE(infoFile.open(QIODevice::WriteOnly));
        infoFile.write(info);
    }

    bool waitForStatus(const std::function<bool(const QString &)> &matches) {
        QSignalSpy changes(&m_delegate, &AppDelegate::statusTextChanged);
        while (!matches(m_delegate.statusText()))
            if (!changes.wait(endTimeoutMs)) return false;
        return true;
    }
    bool waitForStatus(const QString &text) {
        return waitForStatus([&](const QString &status) { return status == text; });
    }
    bool waitForIdle() {
        return waitForStatus([](const QString &status) {
            return !status.startsWith(QStringLiteral("Asking")) &&
                   !status.startsWith(QStringLiteral("Velmora is running"));
        });
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
    m_delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(m_delegate.statusText().contains(QStringLiteral("not found")))
        << "no Velmora.app at all";
    // Each path whole on a line of its own, and how to install.
    const QStringList lines = m_delegate.statusText().split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("    ") + appPath()))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("    sudo cmake --install build --prefix /usr")));
    for (const auto &c : cases) {
        writeApp(c.info, "touch \"$0.ran\"");
        m_delegate.applicationDidFinishLaunching();
        EXPECT_TRUE(m_delegate.statusText().contains(QStringLiteral("not found"))) << c.what;
        EXPECT_EQ(m_window.retryText(), QStringLiteral("&Retry")) << c.what;
        EXPECT_FALSE(QFile::exists(appPath() + QStringLiteral("/Velmora.ran"))) << c.what;
    }
}

TEST_F(LauncherAppDelegateTest, GrantedStartRunsVelmoraWithoutArgumentsUntilItEnds) {
    FakeAuthorization slow("slow");
    // Far more output than a pipe holds: Velmora must not stall on a launcher that never reads.
    writeApp("Executable=Velmora\n",
             "sleep 0.3; printf '%s' \"$#\" > \"$0.args\"; head -c 1000000 /dev/zero; "
             "head -c 100000 /dev/zero >&2; exit 0");
    m_delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(m_window.isVisible()) << "the window shows while the authorization is asked for";
    EXPECT_EQ(m_delegate.statusText(), QStringLiteral("Asking for permission to start Velmora…"));
    EXPECT_TRUE(m_window.retryText().isNull());
    ASSERT_TRUE(waitForStatus(QStringLiteral("Velmora has ended.")));
    EXPECT_EQ(m_window.retryText(), QStringLiteral("&Start again"));
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
    m_launcher.write(built.mid(m_launcher.path().size() + 1), "sleep 0.3; touch \"$0.ran\"");
    m_delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(waitForStatus(QStringLiteral("Velmora has ended.")));
    EXPECT_TRUE(QFile::exists(built + QStringLiteral(".ran")));
}

TEST_F(LauncherAppDelegateTest, EachFailureIsToldAsWhatItIsWithARetry) {
    const struct {
        QByteArray answer;
        QByteArray velmora;
        QString status;
        const char *helper = FakeAuthorization::helperPath;
    } cases[] = {
        {"cancel", {}, QStringLiteral("Velmora was not started: the authorization was cancelled.")},
        {"refuse", {}, QStringLiteral("Velmora was not started: the authorization was refused.")},
        {"unreachable",
         {},
         QStringLiteral("Velmora was not started: the authorization service (polkit) cannot be "
                        "reached. Is polkit installed and running?")},
        {"noagent",
         {},
         QStringLiteral("Velmora was not started: no authentication agent is running to ask "
                        "for the password.")},
        // An answer of no known kind is the authorization failing, never Velmora.
        {"exit1",
         {},
         QStringLiteral(
             "Velmora was not started: the authorization failed (fake_pkexec exited with status "
             "1).")},
        {"killed",
         {},
         QStringLiteral("Velmora was not started: the authorization failed (fake_pkexec was ended "
                        "by signal 9 (Killed)).")},
        // Executable, yet it cannot be run: its interpreter is missing.
        {"grant", "#!/nonexistent/sh\n",
         QStringLiteral("Velmora was not started: %1 is missing or cannot be run.")},
        {"grant",
         {},
         QStringLiteral("Velmora was not started: /nonexistent/pkexec is missing. Install the "
                        "package \"pkexec\" (sudo apt install pkexec) and try again."),
         "/nonexistent/pkexec"},
    };
    for (const auto &c : cases) {
        writeApp("Executable=Velmora\n", "touch \"$0.ran\"");
        if (!c.velmora.isEmpty()) {
            QFile script(velmoraPath());
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(c.velmora);
        }
        FakeAuthorization answer(c.answer);
        qputenv(AppDelegate::authorizationHelperVariable, c.helper);
        m_delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(waitForIdle()) << c.answer.constData();
        const QString velmora = QFileInfo(velmoraPath()).canonicalFilePath();
        EXPECT_EQ(m_delegate.statusText(),
                  c.status.contains(QLatin1Char('%')) ? c.status.arg(velmora) : c.status);
        EXPECT_EQ(m_window.retryText(), QStringLiteral("&Retry"));
        EXPECT_FALSE(QFile::exists(velmoraPath() + QStringLiteral(".ran")));
    }
}

TEST_F(LauncherAppDelegateTest, RetryStartsVelmoraAfterAFailure) {
    writeApp("Executable=Velmora\n", "sleep 0.4");
    {
        FakeAuthorization cancel("cancel");
        m_delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(waitForIdle());
    }
    emit m_window.retryRequested();
    ASSERT_TRUE(waitForStatus([](const QString &status) {
        return status.startsWith(QStringLiteral("Velmora is running"));
    }));
    EXPECT_TRUE(m_window.retryText().isNull());
    ASSERT_TRUE(waitForStatus(QStringLiteral("Velmora has ended.")));
}

TEST_F(LauncherAppDelegateTest, HowVelmoraEndedIsTold) {
    const QString handedOver =
        QStringLiteral("Velmora was already running; its window has been brought forward.");
    const struct {
        QByteArray body;
        QString status;
    } cases[] = {
        // Whether the launcher saw it run or only its end, it handed over.
        {"sleep 0.4; exit 3", handedOver},
        {"exit 3", handedOver},
        // Failing on its way up, it says why on its error output; the last lines are shown.
        {"sleep 0.3; echo 'qt: a warning' >&2; echo >&2; "
         "echo 'Velmora: There is no user with id 4242 (from PKEXEC_UID).' >&2; exit 1",
         QStringLiteral("Velmora has ended: it exited with status 1. It said:\n    qt: a warning\n"
                        "    Velmora: There is no user with id 4242 (from PKEXEC_UID).")},
    };
    for (const auto &c : cases) {
        writeApp("Executable=Velmora\n", c.body);
        m_delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(waitForIdle()) << c.body.constData();
        EXPECT_EQ(m_delegate.statusText(), c.status);
        EXPECT_EQ(m_window.retryText(), QStringLiteral("&Start again"));
    }
}

}  // namespace
