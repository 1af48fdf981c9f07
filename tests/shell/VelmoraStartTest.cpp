// Starts the real Velmora program under a private Xvfb with the offscreen Qt platform,
// as a person would start it, and checks it stays up, hands a second start over and
// quits cleanly on SIGTERM.
#include "tests/support/XvfbServer.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QProcessEnvironment velmoraEnvironment(const XvfbServer &x, const QTemporaryDir &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    return env;
}

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
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(velmora.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(velmora.processId()), SIGTERM);
    ASSERT_TRUE(velmora.waitForFinished(10000));
    EXPECT_EQ(velmora.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velmora.exitCode(), 0) << velmora.readAll().toStdString();
}

}  // namespace
