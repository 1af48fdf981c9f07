// Starts the real Velmora program under a private Xvfb, as a person would start it, and checks
// it stays up, hands a second start over and quits cleanly on SIGTERM; and that started as root
// for a person, only the keyboard broker keeps root.
#include "shell/SingleInstance.h"
#include "tests/support/ProcessStatus.h"
#include "tests/support/XvfbServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <pwd.h>
#include <csignal>

namespace {

constexpr int waitMs = 10000;

QProcessEnvironment velmoraEnvironment(const XvfbServer &x, const QTemporaryDir &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    return env;
}

bool run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(waitMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A user of the machine made for one test, with a home of their own; removed afterwards.
class TestPerson {
public:
    TestPerson() {
        m_name = QStringLiteral("velmora-t%1").arg(QCoreApplication::applicationPid());
        m_home = m_root.filePath(m_name);
        // The person must be able to reach their home.
        QFile::setPermissions(m_root.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                 QFileDevice::ExeOther);
        m_made = run(QStringLiteral("useradd"),
                     {QStringLiteral("-M"), QStringLiteral("-U"), QStringLiteral("-d"), m_home,
                      QStringLiteral("-s"), QStringLiteral("/usr/sbin/nologin"), m_name});
        const passwd *entry = m_made ? getpwnam(m_name.toLocal8Bit().constData()) : nullptr;
        if (!entry || !QDir().mkpath(m_home)) return;
        uid = entry->pw_uid;
        gid = entry->pw_gid;
        chown(QFile::encodeName(m_home).constData(), uid, gid);
    }
    ~TestPerson() {
        if (!m_made) return;
        run(QStringLiteral("userdel"), {m_name});
        // Qt's own runtime folder for a person without one, and Velmora's single-instance
        // folder should a failed test have left it: theirs, and they are gone.
        QDir(QStringLiteral("/tmp/runtime-") + m_name).removeRecursively();
        if (uid != 0) QDir(QStringLiteral("/tmp/velmora-%1").arg(uid)).removeRecursively();
    }
    bool isValid() const { return uid != 0; }
    QString home() const { return m_home; }
    // Gives the person a file in their home, theirs alone.
    void own(const QString &path) const {
        chown(QFile::encodeName(path).constData(), uid, gid);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    uid_t uid = 0;
    gid_t gid = 0;

private:
    QTemporaryDir m_root;
    QString m_name, m_home;
    bool m_made = false;
};

TEST(VelmoraStart, StartsHandsOverASecondStartAndQuitsOnSigterm) {
    XvfbServer x;
    if (!x.start()) GTEST_SKIP() << "Xvfb is not available";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());

    QProcess velmora;
    velmora.setProcessEnvironment(velmoraEnvironment(x, home));
    velmora.setProcessChannelMode(QProcess::MergedChannels);
    velmora.start(QStringLiteral(VELMORA_EXECUTABLE), {});
    ASSERT_TRUE(velmora.waitForStarted());
    EXPECT_FALSE(velmora.waitForFinished(2000)) << velmora.readAll().toStdString();

    QProcess second;
    second.setProcessEnvironment(velmoraEnvironment(x, home));
    second.start(QStringLiteral(VELMORA_EXECUTABLE), {});
    ASSERT_TRUE(second.waitForFinished(waitMs));
    EXPECT_EQ(second.exitCode(), SingleInstance::HandedOverExitStatus);
    EXPECT_EQ(velmora.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(velmora.processId()), SIGTERM);
    ASSERT_TRUE(velmora.waitForFinished(waitMs));
    EXPECT_EQ(velmora.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velmora.exitCode(), 0) << velmora.readAll().toStdString();
}

// As pkexec starts it: root, PKEXEC_UID naming the person, root's HOME, no XAUTHORITY, on a
// display that admits only holders of the person's cookie.
TEST(VelmoraStart, StartedAsRootForAPersonOnlyTheBrokerKeepsRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    TestPerson person;
    if (!person.isValid()) GTEST_SKIP() << "cannot make a user for the test";
    QTemporaryDir serverDir;
    const QString serverAuthority = serverDir.filePath(QStringLiteral("authority"));
    const QString cookie = QString::number(QRandomGenerator::global()->generate64(), 16)
                               .rightJustified(16, '0')
                               .repeated(2);
    ASSERT_TRUE(
        run(QStringLiteral("xauth"), {QStringLiteral("-f"), serverAuthority, QStringLiteral("add"),
                                      QStringLiteral(":0"), QStringLiteral("."), cookie}));
    XvfbServer x;
    if (!x.start(serverAuthority)) GTEST_SKIP() << "Xvfb is not available";
    const QString personAuthority = person.home() + QStringLiteral("/.Xauthority");
    ASSERT_TRUE(
        run(QStringLiteral("xauth"), {QStringLiteral("-f"), personAuthority, QStringLiteral("add"),
                                      x.display(), QStringLiteral("."), cookie}));
    person.own(personAuthority);

    QProcessEnvironment env;
    for (const char *kept : {"PATH", "LANG"})
        env.insert(QString::fromLatin1(kept), qEnvironmentVariable(kept));
    env.insert(QStringLiteral("DISPLAY"), x.display());
    // A copy in the person's home: they may not be able to look into the checkout.
    const QString suppressions = person.home() + QStringLiteral("/lsan-suppressions.txt");
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_LSAN_SUPPRESSIONS), suppressions));
    person.own(suppressions);
    env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=") + suppressions);
    env.insert(QStringLiteral("HOME"), QStringLiteral("/root"));
    env.insert(QStringLiteral("USER"), QStringLiteral("root"));
    env.insert(QStringLiteral("PKEXEC_UID"), QString::number(person.uid));
    QProcess velmora;
    velmora.setProcessEnvironment(env);
    velmora.setProcessChannelMode(QProcess::MergedChannels);
    velmora.start(QStringLiteral(VELMORA_EXECUTABLE), {});
    ASSERT_TRUE(velmora.waitForStarted());
    // Only the person's ~/.Xauthority admits it: still up, it has their home and X authority.
    ASSERT_FALSE(velmora.waitForFinished(3000))
        << "the window did not reach the display: " << velmora.readAll().toStdString();
    const qint64 pid = velmora.processId();

    const QString uid = QString::number(person.uid), gid = QString::number(person.gid);
    EXPECT_EQ(ProcessStatus::field(pid, QStringLiteral("Uid")).split('\t'), QStringList(4, uid));
    EXPECT_EQ(ProcessStatus::field(pid, QStringLiteral("Gid")).split('\t'), QStringList(4, gid));
    EXPECT_FALSE(ProcessStatus::field(pid, QStringLiteral("Groups"))
                     .split(' ')
                     .contains(QStringLiteral("0")));

    // Where the tap can be made (uinput), the broker lives on beside it; elsewhere it has ended
    // and been collected already. The real-kernel test looks at a live one too.
    const QList<qint64> children = ProcessStatus::childrenOf(pid);
    ASSERT_LE(children.size(), 1) << "the broker, and nothing else";
    for (const qint64 broker : children) {
        EXPECT_EQ(ProcessStatus::field(broker, QStringLiteral("Uid")).split('\t'),
                  QStringList(4, QStringLiteral("0")));
        EXPECT_EQ(ProcessStatus::field(broker, QStringLiteral("Name")),
                  QStringLiteral("VelmoraBroker"));
        EXPECT_NE(ProcessStatus::sessionOf(broker), ProcessStatus::sessionOf(pid))
            << "a terminal's Ctrl+Z would reach the broker";
    }

    ::kill(static_cast<pid_t>(pid), SIGTERM);
    ASSERT_TRUE(velmora.waitForFinished(waitMs));
    EXPECT_EQ(velmora.exitCode(), 0) << velmora.readAll().toStdString();
    for (const qint64 broker : children) {
        // Gone, or a zombie that whoever adopted it has not collected yet.
        const auto ended = [broker] {
            const QString state = ProcessStatus::field(broker, QStringLiteral("State"));
            return !state.startsWith(QLatin1Char('S')) && !state.startsWith(QLatin1Char('R'));
        };
        const QDeadlineTimer deadline(waitMs);
        while (!ended() && !deadline.hasExpired()) QThread::msleep(20);
        EXPECT_TRUE(ended()) << "the broker outlived Velmora";
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/velmora-%1").arg(person.uid)))
        << "the single-instance folder was left behind";
}

}  // namespace
