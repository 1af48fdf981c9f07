// Installs the build's launcher component into a temporary prefix, checks what it lays out,
// and drives the installed launcher against real polkit: pkexec, and a system bus and polkitd
// of the test's own, in a private mount namespace where the installed policy lies over
// /usr/share/polkit-1/actions on a tmpfs and a person made for the test, in group sudo with a
// known password, lives in private copies of /etc/passwd, /etc/shadow and /etc/group. Nothing
// outside that namespace changes. pkttyagent answers on a pseudo-terminal; a stand-in for a
// graphical agent cancels.
#include "tests/support/ProcessStatus.h"
#include "tests/support/XvfbServer.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <termios.h>
#include <unistd.h>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int waitMs = 20000;

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

class LauncherInstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_root = std::make_unique<QTemporaryDir>();
        // Others may read it: the person of the polkit test runs what it holds.
        QFile::setPermissions(s_root->path(), QFile::permissions(s_root->path()) |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther);
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
    static QString appPath(const QString &name) {
        return launcherDir() + QStringLiteral("/Resources/Velmora.app/") + name;
    }
    static QString policyPath() {
        return prefix() +
               QStringLiteral("/" DATA_DIR "/polkit-1/actions/org.velmora.launcher.policy");
    }

    void SetUp() override { ASSERT_TRUE(s_installed) << s_installLog.toStdString(); }

    static inline std::unique_ptr<QTemporaryDir> s_root;
    static inline bool s_installed = false;
    static inline QString s_installLog;
};

TEST_F(LauncherInstallTest, InstallLaysOutTheBundlePolicyAndDesktopEntry) {
    const QFileInfo launcher(launcherDir() + QStringLiteral("/VelmoraLauncher"));
    EXPECT_TRUE(launcher.isFile() && launcher.isExecutable());
    EXPECT_TRUE(QFileInfo(appPath(QStringLiteral("Velmora"))).isExecutable());
    EXPECT_EQ(QFileInfo(prefix() + QStringLiteral("/" BIN_DIR "/VelmoraLauncher"))
                  .canonicalFilePath(),
              launcher.canonicalFilePath());
    const QSettings info(appPath(QStringLiteral("Info.ini")), QSettings::IniFormat);
    EXPECT_EQ(info.value(QStringLiteral("Executable")).toString(), QStringLiteral("Velmora"));

    const QString policy = QString::fromUtf8(readFile(policyPath()));
    EXPECT_TRUE(policy.contains(
        QStringLiteral("<annotate key=\"org.freedesktop.policykit.exec.path\"><![CDATA[") +
        QFileInfo(appPath(QStringLiteral("Velmora"))).canonicalFilePath() +
        QStringLiteral("]]></annotate>")))
        << policy.toStdString();
    EXPECT_TRUE(policy.contains(QStringLiteral(
        "<annotate key=\"org.freedesktop.policykit.exec.allow_gui\">true</annotate>")));

    const QString desktop = QString::fromUtf8(
        readFile(prefix() + QStringLiteral("/" DATA_DIR "/applications/VelmoraLauncher.desktop")));
    EXPECT_TRUE(desktop.contains(QStringLiteral("\nExec=\"") + launcher.canonicalFilePath() +
                                 QStringLiteral("\"\n")))
        << desktop.toStdString();
}

constexpr char personName[] = "velmora-polkit";
constexpr char password[] = "velmora-secret";
// The same, as /etc/shadow keeps it (openssl passwd -6 -salt velmora).
constexpr char passwordHash[] =
    "$6$velmora$6LuTX26O/q/0Of9K5JxXKxMiMoikM1tjcD/ReGOdW14fJ0rCyeVBocy2NBkFwwgz9te2p9sAw61v.E/"
    "z9ftyZ.";
constexpr char polkitd[] = "/usr/lib/polkit-1/polkitd";

// Run by the process that holds the namespace: the person, the policy, a place for the bus.
// Arguments: folder, uid, name, password hash, policy.
constexpr char namespaceScript[] = R"(set -e
cp /etc/passwd /etc/shadow /etc/group "$0"
echo "$2:x:$1:$1::$0/home:/bin/sh" >> "$0/passwd"
echo "$2:$3:19000:0:99999:7:::" >> "$0/shadow"
# Debian's polkit rules make the members of sudo administrators.
sed -i -e "/^sudo:/s/\$/,$2/" -e "s/^\(sudo:[^:]*:[^:]*:\),/\1/" "$0/group"
echo "$2:x:$1:" >> "$0/group"
mkdir "$0/home" && chown "$1:$1" "$0/home"
mount -t tmpfs tmpfs /usr/share/polkit-1/actions && cp "$4" /usr/share/polkit-1/actions/
mount -t tmpfs tmpfs /run/dbus
# The person's runtime folder, where Qt and Velmora keep what /tmp would otherwise get.
mount -t tmpfs tmpfs /run/user && mkdir -m 700 "/run/user/$1" && chown "$1:$1" "/run/user/$1"
for f in passwd shadow group; do mount --bind "$0/$f" /etc/$f; done
# What pkexec and polkitd tell the system log goes nowhere.
[ ! -d /run/systemd/journal ] || mount -t tmpfs tmpfs /run/systemd/journal
[ ! -S /dev/log ] || mount --bind /dev/null /dev/log
echo ready
exec sleep infinity
)";

// The system bus's rules without its service activation, so a stopped polkitd stays stopped.
constexpr char busConfig[] = R"(<busconfig><type>system</type><auth>EXTERNAL</auth>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <policy context="default">
    <allow user="*"/><deny own="*"/><deny send_type="method_call"/><allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/><allow receive_type="method_return"/>
    <allow receive_type="error"/><allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>)";

// A pseudo-terminal whose other side types the answer once pkttyagent asks for a password and
// has turned echo off (what is typed before that, it throws away).
class AnsweringTerminal {
public:
    AnsweringTerminal() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slave = open(ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~AnsweringTerminal() {
        for (int fd : {m_master, m_slave})
            if (fd >= 0) close(fd);
    }
    int slave() const { return m_slave; }
    void answerWith(const QByteArray &answer) {
        m_answer = answer + '\n';
        m_seen.clear();
    }
    void serve() {
        char buffer[512];
        for (ssize_t count; (count = read(m_master, buffer, sizeof buffer)) > 0;)
            m_seen.append(buffer, count);
        termios settings{};
        if (m_answer.isEmpty() || !m_seen.contains("Password:") ||
            tcgetattr(m_master, &settings) != 0 || (settings.c_lflag & ECHO))
            return;
        [[maybe_unused]] const ssize_t written = write(m_master, m_answer.data(), m_answer.size());
        m_answer.clear();
    }

private:
    int m_master = -1, m_slave = -1;
    QByteArray m_seen, m_answer;
};

class LauncherPolkitTest : public LauncherInstallTest {
protected:
    void SetUp() override {
        if (const QString why = whyUnavailable(); !why.isEmpty()) GTEST_SKIP() << why.toStdString();
        LauncherInstallTest::SetUp();
        // Notes whom it runs as and ends, as the broker does where it finds no uinput.
        ASSERT_TRUE(writeFile(appPath(QStringLiteral("VelmoraBroker")),
                              "#!/bin/sh\n/usr/bin/id -u >> \"$0.started\"\n"));
        ASSERT_TRUE(writeFile(m_dir.filePath(QStringLiteral("bus.conf")), busConfig));
        for (m_uid = 4242; getpwuid(m_uid) || getgrgid(m_uid); ++m_uid) {
        }
        QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) |
                                                QFileDevice::ReadOther | QFileDevice::ExeOther);
        m_holder.setProcessChannelMode(QProcess::MergedChannels);
        m_holder.start(QStringLiteral("unshare"),
                       {"--mount", "--propagation", "private", "sh", "-c", namespaceScript,
                        m_dir.path(), QString::number(m_uid), personName, passwordHash,
                        policyPath()});
        if (!m_holder.waitForReadyRead(waitMs) || !m_holder.canReadLine() ||
            !m_holder.readLine().startsWith("ready")) {
            m_holder.waitForFinished(waitMs);
            const std::string said = m_holder.readAll().toStdString();
            if (said.starts_with("unshare:")) GTEST_SKIP() << "no mount namespace here: " << said;
            FAIL() << said;
        }
        startBus();
        startPolkitd();
        if (!m_x.start()) GTEST_SKIP() << "no Xvfb";
    }

    void TearDown() override {
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) end(it->get());
        end(&m_holder);
    }

    static QString whyUnavailable() {
        if (geteuid() != 0) return QStringLiteral("needs root for a mount namespace and a person");
        for (const char *program : {"unshare", "nsenter", "setpriv", "setsid", "pkexec",
                                    "pkttyagent", "pkaction", "dbus-daemon", "xdotool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return QStringLiteral("%1 is not installed").arg(QLatin1String(program));
        for (const char *path : {polkitd, "/run/dbus", "/run/user"})
            if (!QFileInfo::exists(path)) return QStringLiteral("%1 is missing").arg(path);
        if (!getgrnam("sudo")) return QStringLiteral("no group sudo, whose members polkit asks");
        if (getpwnam(personName)) return QStringLiteral("a user %1 exists").arg(personName);
        return {};
    }

    static void end(QProcess *process) {
        if (process->state() == QProcess::NotRunning) return;
        process->kill();
        process->waitForFinished(waitMs);
    }

    // Starts a command in the namespace, as root or as the person; `prepare` runs in the child.
    QProcess *run(const QStringList &command, bool asPerson,
                  const std::function<void()> &prepare = {}) {
        QStringList arguments{"--target", QString::number(m_holder.processId()), "--mount", "--"};
        if (asPerson)
            arguments << "setpriv"
                      << "--reuid" << QString::number(m_uid) << "--regid" << QString::number(m_uid)
                      << "--init-groups"
                      << "--";
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment;
        environment.insert("PATH", "/usr/bin:/bin:/usr/sbin:/sbin");
        environment.insert("LANG", "C.UTF-8");
        environment.insert("HOME", m_dir.filePath("home"));
        environment.insert("USER", personName);
        environment.insert("XDG_RUNTIME_DIR", QStringLiteral("/run/user/%1").arg(m_uid));
        environment.insert("DISPLAY", m_x.display());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::MergedChannels);
        if (prepare) process->setChildProcessModifier(prepare);
        process->start(QStringLiteral("nsenter"), arguments + command);
        process->waitForStarted(waitMs);
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    void startBus() {
        m_bus = run({"dbus-daemon", "--config-file=" + m_dir.filePath("bus.conf"), "--nofork",
                     "--nopidfile", "--print-address"},
                    false);
        m_bus->waitForReadyRead(waitMs);  // its address, once it listens
    }
    // Ready once pkaction finds the installed action.
    void startPolkitd() {
        m_polkitd = run({polkitd, "--no-debug"}, false);
        const QDeadlineTimer deadline(waitMs);
        for (QProcess *pkaction = nullptr; !deadline.hasExpired(); QThread::msleep(100)) {
            pkaction = run({"pkaction", "--action-id", "org.velmora.launcher.run-velmora"}, false);
            if (pkaction->waitForFinished(waitMs) && pkaction->exitCode() == 0) return;
        }
    }

    // Held before it starts, so that an agent can be registered for it first; polkit takes an
    // agent for a process of the same user only, so that is awaited. Started as desktops
    // sometimes start programs: with SIGCHLD ignored.
    QProcess *startLauncher() {
        QProcess *launcher = run({"setsid", "sh", "-c", "read go; exec \"$0\"",
                                  prefix() + QStringLiteral("/" BIN_DIR "/VelmoraLauncher")},
                                 true, [] { std::signal(SIGCHLD, SIG_IGN); });
        const QDeadlineTimer deadline(waitMs);
        while (ProcessStatus::field(launcher->processId(), "Uid").section('\t', 0, 0) !=
                   QString::number(m_uid) &&
               !deadline.hasExpired())
            QThread::msleep(10);
        return launcher;
    }

    // pkttyagent typing `answer`, or "cancel": an agent that cancels; ready once registered.
    QProcess *startAgent(qint64 launcher, const QByteArray &answer) {
        int notify[2];
        if (pipe2(notify, O_CLOEXEC) != 0) return nullptr;
        const QString pid = QString::number(launcher);
        // A copy the person can run, wherever the build is.
        const QString cancelling = m_dir.filePath(QStringLiteral("cancelling_agent"));
        QFile::copy(QStringLiteral(CANCELLING_AGENT_PATH), cancelling);
        const int slave = m_terminal.slave(), notifyEnd = notify[1];
        m_terminal.answerWith(answer);
        QProcess *agent =
            run(answer == "cancel" ? QStringList{cancelling, pid}
                                   : QStringList{"setsid", "-c", "pkttyagent", "--process", pid,
                                                 "--notify-fd", "3"},
                true, [slave, notifyEnd] {
                    for (int fd : {0, 1, 2}) dup2(slave, fd);
                    dup2(notifyEnd, 3);
                });
        close(notify[1]);
        pollfd registered{notify[0], POLLIN, 0};
        poll(&registered, 1, waitMs);
        close(notify[0]);
        EXPECT_EQ(agent->state(), QProcess::Running) << "not registered: " << answer.constData();
        return agent;
    }

    // Waits for a line of the launcher's that contains `text`, after what was seen before.
    bool waitForStatus(QProcess *launcher, const QString &text) {
        const QDeadlineTimer deadline(waitMs);
        while (!m_log.mid(m_seen).contains(text) && !deadline.hasExpired()) {
            launcher->waitForReadyRead(50);
            m_log += QString::fromUtf8(launcher->readAll());
            m_terminal.serve();
        }
        return m_log.mid(m_seen).contains(text);
    }

    void pressRetry(qint64 launcher) {
        QProcess xdotool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", m_x.display());
        xdotool.setProcessEnvironment(environment);
        xdotool.start("xdotool", {"search", "--sync", "--onlyvisible", "--pid",
                                  QString::number(launcher), "--name", "Velmora Launcher",
                                  "windowfocus", "--sync", "key", "--clearmodifiers", "alt+r"});
        EXPECT_TRUE(xdotool.waitForFinished(waitMs) && xdotool.exitCode() == 0);
    }

    QTemporaryDir m_dir;
    QProcess m_holder;
    XvfbServer m_x;
    AnsweringTerminal m_terminal;
    uid_t m_uid = 0;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess *m_bus = nullptr;
    QProcess *m_polkitd = nullptr;
    QString m_log;
    qsizetype m_seen = 0;
};

TEST_F(LauncherPolkitTest, EachAnswerOfPolkitIsToldAndRetryWorksOnceItIsRepaired) {
    const struct {
        const char *what;
        std::function<void()> before;
        QByteArray agent;  // none, "cancel", or what pkttyagent types
        bool newLauncher;
        const char *status;
    } steps[] = {
        {"no agent", {}, {}, true, "no authentication agent is running"},
        {"cancel", {}, "cancel", false, "the authorization was cancelled"},
        {"wrong password", {}, "not-the-password", false, "the authorization was refused"},
        {"polkitd stopped", [&] { end(m_polkitd); }, {}, false, "(polkit) cannot be reached"},
        {"system bus stopped", [&] { end(m_bus); }, {}, false, "(polkit) cannot be reached"},
        {"repaired, right password",
         [&] {
             startBus();
             startPolkitd();
         },
         password, false, "Velmora is running"},
        {"second start", {}, password, true, "Velmora was already running"},
    };
    QProcess *launcher = nullptr, *first = nullptr;
    for (const auto &step : steps) {
        if (step.before) step.before();
        if (step.newLauncher) launcher = startLauncher();
        first = first ? first : launcher;
        QProcess *agent =
            step.agent.isEmpty() ? nullptr : startAgent(launcher->processId(), step.agent);
        m_seen = m_log.size();
        if (step.newLauncher)
            launcher->write("go\n");
        else
            pressRetry(launcher->processId());
        EXPECT_TRUE(waitForStatus(launcher, QString::fromLatin1(step.status)))
            << step.what << "\n"
            << m_log.mid(m_seen).toStdString();
        if (agent) end(agent);
    }
    // Velmora runs as the person, and the one broker it made as root: the second start
    // found it before it made one.
    const QList<qint64> velmora = ProcessStatus::childrenOf(first->processId());
    ASSERT_EQ(velmora.size(), 1) << m_log.toStdString();
    EXPECT_EQ(ProcessStatus::field(velmora.first(), "Uid").split('\t'),
              QStringList(4, QString::number(m_uid)));
    EXPECT_EQ(readFile(appPath(QStringLiteral("VelmoraBroker.started"))), QByteArray("0\n"));
    m_seen = m_log.size();
    ::kill(pid_t(velmora.first()), SIGTERM);
    EXPECT_TRUE(waitForStatus(first, "Velmora has ended")) << m_log.mid(m_seen).toStdString();
}

}  // namespace
