// Installs the build into a temporary prefix and drives the installed launcher on a private X
// server, with the stand-in pkexec, as a person would start it from the desktop.
#include "tests/launcher/XPingProbe.h"
#include "tests/support/XvfbServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int waitMs = 15000;
constexpr int pingTimeoutMs = 5000;

QString readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

qint64 parentOf(qint64 pid) {
    const QString status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf(QStringLiteral("\nPPid:"));
    return at < 0 ? -1 : status.mid(at + 6).section(QLatin1Char('\n'), 0, 0).trimmed().toLongLong();
}

QList<qint64> processesWhere(const std::function<bool(qint64)> &matches) {
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && matches(pid)) found << pid;
    }
    return found;
}

class LauncherInstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_root = std::make_unique<QTemporaryDir>();
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(CMAKE_COMMAND_PATH),
                      {QStringLiteral("--install"), QStringLiteral(VELMORA_BINARY_DIR),
                       QStringLiteral("--prefix"), prefix(), QStringLiteral("--component"),
                       QStringLiteral("launcher")});
        s_installed = install.waitForFinished(120000) &&
                      install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0;
        s_installLog = QString::fromLocal8Bit(install.readAll());
    }
    static void TearDownTestSuite() { s_root.reset(); }

    // Awkward on purpose: the paths written at install time must survive spaces and '&'.
    static QString prefix() { return s_root->path() + QStringLiteral("/Velmora & Co"); }
    static QString launcherDir() {
        return prefix() + QStringLiteral("/" LIBEXEC_DIR "/velmora-launcher");
    }
    static QString velmoraPath() {
        return launcherDir() + QStringLiteral("/Resources/Velmora.app/Velmora");
    }

    void SetUp() override { ASSERT_TRUE(s_installed) << s_installLog.toStdString(); }

    void TearDown() override {
        if (m_launcher.state() == QProcess::NotRunning) return;
        m_launcher.kill();
        m_launcher.waitForFinished(waitMs);
    }

    void startLauncher(const QByteArray &answer) {
        if (!m_xvfb.start()) GTEST_SKIP() << "no Xvfb";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_xvfb.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("VELMORA_LAUNCHER_AUTH_HELPER"),
                           QStringLiteral(FAKE_PKEXEC_PATH));
        environment.insert(QStringLiteral("FAKE_PKEXEC_ANSWER"), QString::fromLatin1(answer));
        m_launcher.setProcessEnvironment(environment);
        m_launcher.setProcessChannelMode(QProcess::MergedChannels);
        // Some desktops start programs with SIGCHLD ignored; the launcher must cope.
        m_launcher.setChildProcessModifier([] { std::signal(SIGCHLD, SIG_IGN); });
        m_launcher.start(prefix() + QStringLiteral("/" BIN_DIR "/VelmoraLauncher"), {});
        ASSERT_TRUE(m_launcher.waitForStarted(waitMs));
    }

    bool waitForLog(const QString &text) {
        const QDeadlineTimer deadline(waitMs);
        while (!m_log.contains(text) && !deadline.hasExpired() &&
               m_launcher.state() == QProcess::Running) {
            m_launcher.waitForReadyRead(100);
            m_log += QString::fromUtf8(m_launcher.readAll());
        }
        return m_log.contains(text);
    }

    QList<qint64> velmoraProcesses() const {
        const QString velmora = QFileInfo(velmoraPath()).canonicalFilePath();
        return processesWhere([&](qint64 pid) {
            return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == velmora;
        });
    }

    QList<qint64> launcherChildren() const {
        const qint64 launcher = m_launcher.processId();
        return processesWhere([&](qint64 pid) { return parentOf(pid) == launcher; });
    }

    // The launcher's window answers the desktop's "are you alive?" question.
    void expectResponsive() {
        XPingProbe probe(m_xvfb.display());
        ASSERT_TRUE(probe.isConnected());
        xcb_window_t window = XCB_NONE;
        const QDeadlineTimer deadline(waitMs);
        while ((window = probe.findWindowOf(m_launcher.processId())) == XCB_NONE &&
               !deadline.hasExpired())
            QThread::msleep(50);
        ASSERT_NE(window, static_cast<xcb_window_t>(XCB_NONE)) << "the launcher shows no window";
        EXPECT_TRUE(probe.ping(window, pingTimeoutMs))
            << "the launcher would be reported as not responding";
        EXPECT_EQ(m_launcher.state(), QProcess::Running);
    }

    static inline std::unique_ptr<QTemporaryDir> s_root;
    static inline bool s_installed = false;
    static inline QString s_installLog;
    XvfbServer m_xvfb;
    QProcess m_launcher;
    QString m_log;
};

TEST_F(LauncherInstallTest, InstallLaysOutTheBundlePolicyAndDesktopEntry) {
    const QFileInfo launcher(launcherDir() + QStringLiteral("/VelmoraLauncher"));
    EXPECT_TRUE(launcher.isFile() && launcher.isExecutable());
    EXPECT_TRUE(QFileInfo(velmoraPath()).isExecutable());
    EXPECT_EQ(QFileInfo(prefix() + QStringLiteral("/" BIN_DIR "/VelmoraLauncher"))
                  .canonicalFilePath(),
              launcher.canonicalFilePath());
    const QSettings info(launcherDir() + QStringLiteral("/Resources/Velmora.app/Info.ini"),
                         QSettings::IniFormat);
    EXPECT_EQ(info.value(QStringLiteral("Executable")).toString(), QStringLiteral("Velmora"));

    QString escapedVelmora = QFileInfo(velmoraPath()).canonicalFilePath();
    escapedVelmora.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    const QString policy = readFile(
        prefix() + QStringLiteral("/" DATA_DIR "/polkit-1/actions/org.velmora.launcher.policy"));
    EXPECT_TRUE(
        policy.contains(QStringLiteral("<annotate key=\"org.freedesktop.policykit.exec.path\">") +
                        escapedVelmora + QStringLiteral("</annotate>")))
        << policy.toStdString();
    EXPECT_TRUE(policy.contains(QStringLiteral(
        "<annotate key=\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>")));

    const QString desktop =
        readFile(prefix() + QStringLiteral("/" DATA_DIR "/applications/VelmoraLauncher.desktop"));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nExec=\"") + launcher.canonicalFilePath() +
                                 QStringLiteral("\"\n")))
        << desktop.toStdString();
}

TEST_F(LauncherInstallTest, GrantedLaunchRunsOneVelmoraAndTheLauncherStaysResponsive) {
    startLauncher("grant");
    ASSERT_TRUE(waitForLog(QStringLiteral("Velmora is running"))) << m_log.toStdString();
    const QList<qint64> velmoras = velmoraProcesses();
    ASSERT_EQ(velmoras.size(), 1) << m_log.toStdString();
    const qint64 velmora = velmoras.first();
    EXPECT_EQ(parentOf(velmora), m_launcher.processId());
    EXPECT_EQ(readFile(QStringLiteral("/proc/%1/cmdline").arg(velmora)).count(QChar(u'\0')), 1)
        << "Velmora must get no arguments";

    expectResponsive();
    EXPECT_EQ(velmoraProcesses(), velmoras);

    ASSERT_EQ(kill(static_cast<pid_t>(velmora), SIGKILL), 0);
    ASSERT_TRUE(waitForLog(QStringLiteral("Velmora has ended"))) << m_log.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(velmora)))
        << "Velmora was not collected";
    EXPECT_TRUE(velmoraProcesses().isEmpty());
    expectResponsive();
}

TEST_F(LauncherInstallTest, CancelledAuthorizationLeavesTheLauncherIdleAndResponsive) {
    startLauncher("cancel");
    ASSERT_TRUE(waitForLog(QStringLiteral("the authorization was cancelled")))
        << m_log.toStdString();
    EXPECT_TRUE(velmoraProcesses().isEmpty());
    EXPECT_TRUE(launcherChildren().isEmpty()) << "the helper was left behind";
    expectResponsive();
}

}  // namespace
