// Velmora itself, started with an empty settings store and its update endpoint on a
// loopback server: the label it shows, and the document it keeps.
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/XvfbServer.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace std::chrono_literals;
using Reply = LoopbackHttpServer::Reply;

const QString ShortLabel = QStringLiteral(u"version label: 当前版本：1.0.0");
const QString LongLabel =
    QStringLiteral(u"version label: 当前版本：1.0.0 最新版本：9.9 (update button shown)");

Reply document(const QByteArray &body, std::chrono::milliseconds delay = 0ms) {
    Reply reply;
    reply.body = body;
    reply.delay = delay;
    return reply;
}

class VelmoraUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.start()) GTEST_SKIP() << "Xvfb is not available";
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(server.start());
    }
    void TearDown() override { quit(); }

    void launch() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x.display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
            env.insert(QString::fromLatin1(name), home.path());
        env.insert(QStringLiteral("VELMORA_UPDATE_ENDPOINT"),
                   server.url(QStringLiteral("/velmora/info.php")).toString());
        output.clear();
        velmora.setProcessEnvironment(env);
        velmora.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&velmora, &QProcess::readyRead, &velmora,
                         [this] { output += QString::fromUtf8(velmora.readAll()); });
        velmora.start(QStringLiteral(VELMORA_EXECUTABLE), {});
        ASSERT_TRUE(velmora.waitForStarted());
    }
    void quit() {
        if (velmora.state() == QProcess::NotRunning) return;
        ::kill(pid_t(velmora.processId()), SIGTERM);
        velmora.waitForFinished(10000);
    }
    // The label lines Velmora has logged so far.
    QStringList labels() const {
        return output.split(u'\n').filter(QStringLiteral("version label: "));
    }
    bool waitForLabels(qsizetype count) {
        return QTest::qWaitFor([&] { return labels().size() >= count; }, 10000);
    }
    QVariant storedVersion() const {
        return QSettings(home.filePath(QStringLiteral("Velmora/Velmora.conf")),
                         QSettings::IniFormat)
            .value(QStringLiteral("info/version"));
    }

    XvfbServer x;
    QTemporaryDir home;
    LoopbackHttpServer server;
    QProcess velmora;
    QString output;
};

TEST_F(VelmoraUpdateTest, ShortLabelAtOnceLongOneWhenTheDocumentArrivesAndAtTheNextStart) {
    server.setReply(document(R"({"version":"9.9","downloadurl":"https://dl.example/9.9"})", 1s));
    launch();
    ASSERT_TRUE(waitForLabels(2)) << output.toStdString();
    EXPECT_EQ(labels(), QStringList({ShortLabel, LongLabel})) << output.toStdString();
    EXPECT_EQ(storedVersion(), QStringLiteral("9.9"));
    quit();

    Reply silent;
    silent.ending = Reply::Ending::NeverAnswer;
    server.setReply(silent);
    launch();
    ASSERT_TRUE(waitForLabels(1)) << output.toStdString();
    EXPECT_EQ(labels(), QStringList({LongLabel})) << "before the network answers";
    QElapsedTimer quitting;
    quitting.start();
    quit();
    EXPECT_LT(quitting.elapsed(), 5000) << "a pending request does not hold up the exit";
    EXPECT_EQ(velmora.exitCode(), 0) << output.toStdString();
}

TEST_F(VelmoraUpdateTest, AnArrayOrNonJsonBodyLeavesTheStoredDocument) {
    server.setReply(document(R"({"version":"9.9","downloadurl":"https://dl.example/9.9"})"));
    launch();
    ASSERT_TRUE(waitForLabels(2)) << output.toStdString();
    quit();
    const QVariant before = storedVersion();
    ASSERT_TRUE(before.isValid());

    for (const QByteArray &body : {QByteArray("[{\"version\":\"10.0\"}]"), QByteArray("<html>")}) {
        server.setReply(document(body));
        const qsizetype requests = server.requests().size();
        launch();
        ASSERT_TRUE(waitForLabels(1)) << output.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() > requests; }, 10000));
        QTest::qWait(1500);  // the answer is handled within milliseconds
        quit();
        EXPECT_EQ(labels(), QStringList({LongLabel})) << body.constData();
        EXPECT_EQ(storedVersion(), before) << body.constData();
    }
}

}  // namespace
