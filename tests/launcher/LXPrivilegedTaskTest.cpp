#include "launcher/LXPrivilegedTask.h"
#include "tests/launcher/FakeAuthorization.h"
#include "tests/launcher/ScriptFolder.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cerrno>
#include <csignal>

namespace {

constexpr int endTimeoutMs = 10000;

bool hasNoChildren() { return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

QByteArray processName(qint32 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray();
}

class LXPrivilegedTaskTest : public ::testing::Test {
protected:
    std::shared_ptr<LXPrivilegedTask> makeTask(const QString &path,
                                               const QStringList &arguments = {}) {
        auto task = LXPrivilegedTask::create(path, arguments);
        task->setAuthorizationHelper(QString::fromLocal8Bit(FakeAuthorization::helperPath));
        return task;
    }

    // Launches, waits for the program and returns everything it wrote.
    QByteArray runToEnd(const std::shared_ptr<LXPrivilegedTask> &task) {
        QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
        EXPECT_EQ(task->launch(), 0);
        if (!task->outputFileHandle()) return {};
        const QByteArray output = task->outputFileHandle()->readAll();
        EXPECT_TRUE(ended.wait(endTimeoutMs));
        return output;
    }

    void TearDown() override {
        // Let invalidated status timers go, so every task of the test is freed.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(hasNoChildren());
    }

    FakeAuthorization m_answer{"grant"};
    ScriptFolder m_scripts;
};

TEST_F(LXPrivilegedTaskTest, DescriptionAppendsPathAndEachArgument) {
    const struct {
        QStringList arguments;
        QString tail;
    } cases[] = {
        {{QStringLiteral("-l"), QStringLiteral("/tmp")}, QStringLiteral(" /bin/ls -l /tmp")},
        {{}, QStringLiteral(" /bin/ls")},
    };
    for (const auto &c : cases) {
        const auto task = LXPrivilegedTask::create(QStringLiteral("/bin/ls"), c.arguments);
        const QString description = task->description();
        EXPECT_TRUE(description.endsWith(c.tail)) << description.toStdString();
        const QString generic = description.chopped(c.tail.size());
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^LXPrivilegedTask\\(0x[0-9a-f]+\\)$"))
                        .match(generic)
                        .hasMatch())
            << generic.toStdString();
    }
}

TEST_F(LXPrivilegedTaskTest, ArgumentsReachTheProgramWhole) {
    const QString program = m_scripts.write(QStringLiteral("args"), R"(printf '%s\0' "$#" "$@")");
    const QStringList cases[] = {
        {},
        {QStringLiteral("two words"), QStringLiteral("it's \"quoted\""),
         QStringLiteral("a;b && c | d"), QStringLiteral("$(touch injected)"),
         QStringLiteral("ünï – 日本 🎮"), QString()},
    };
    for (const QStringList &arguments : cases) {
        QByteArray expected = QByteArray::number(arguments.size()) + '\0';
        for (const QString &argument : arguments) expected += argument.toUtf8() + '\0';
        EXPECT_EQ(runToEnd(makeTask(program, arguments)), expected);
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("injected")));
}

TEST_F(LXPrivilegedTaskTest, ProgramRunsInTheTaskDirectory) {
    const QString program = m_scripts.write(QStringLiteral("where"), "pwd -P");
    const QString directory = m_scripts.path() + QStringLiteral("/a folder");
    ASSERT_TRUE(QDir().mkpath(directory));
    const QString before = QDir::currentPath();
    const auto task = makeTask(program);
    task->setCurrentDirectoryPath(directory);
    EXPECT_EQ(runToEnd(task).trimmed(), QFileInfo(directory).canonicalFilePath().toUtf8());
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(LXPrivilegedTaskTest, EndIsAnnouncedOnceWithTheRawStatusWord) {
    const struct {
        QByteArray body;
        qint32 status;
    } cases[] = {
        {"sleep 0.2; exit 3", 768},
        {"exit 3", 768},
        // The program's own 126 must not read as a dismissed dialog.
        {"exit 126", 126 * 256},
        {"exit 0", 0},
        {"kill -9 $$", SIGKILL},
    };
    for (const auto &c : cases) {
        const auto task = makeTask(m_scripts.write(QStringLiteral("ending"), c.body));
        QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
        ASSERT_EQ(task->launch(), 0) << c.body.constData();
        EXPECT_TRUE(task->isRunning());
        EXPECT_NE(task->outputFileHandle(), nullptr);
        ASSERT_TRUE(ended.wait(endTimeoutMs)) << c.body.constData();
        EXPECT_EQ(ended.first().first().value<LXPrivilegedTask *>(), task.get());
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->terminationStatus(), c.status) << c.body.constData();
        QTest::qWait(3 * LXPrivilegedTask::checkStatusIntervalMs);
        EXPECT_EQ(ended.size(), 1);
    }
}

TEST_F(LXPrivilegedTaskTest, UnsuccessfulAuthorizationLeavesTheTaskCreated) {
    const struct {
        QByteArray answer;
        QString helper;
        qint32 status;
    } cases[] = {
        {"cancel", QString::fromLocal8Bit(FakeAuthorization::helperPath),
         LXPrivilegedTask::errAuthorizationCanceled},
        {"refuse", QString::fromLocal8Bit(FakeAuthorization::helperPath),
         LXPrivilegedTask::errAuthorizationDenied},
        {"grant", QStringLiteral("/nonexistent/pkexec"), ENOENT},
    };
    const QString program = m_scripts.write(QStringLiteral("never"), "touch ran");
    for (const auto &c : cases) {
        FakeAuthorization answer(c.answer);
        const auto task = makeTask(program);
        task->setAuthorizationHelper(c.helper);
        QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
        EXPECT_EQ(task->launch(), c.status) << c.answer.constData();
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->outputFileHandle(), nullptr);
        EXPECT_EQ(task->processIdentifier(), 0);
        EXPECT_TRUE(hasNoChildren()) << "the helper was not collected";
        QTest::qWait(2 * LXPrivilegedTask::checkStatusIntervalMs);
        EXPECT_TRUE(ended.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(QDir::current().filePath(QStringLiteral("ran"))));
}

TEST_F(LXPrivilegedTaskTest, LaunchReturnsOnlyOnceTheProgramRuns) {
    FakeAuthorization slow("slow");
    const auto task = makeTask(m_scripts.write(QStringLiteral("running"), "sleep 0.5"));
    ASSERT_EQ(task->launch(), 0);
    EXPECT_EQ(processName(task->processIdentifier()), QByteArray("running"));
    task->waitUntilExit();
    EXPECT_EQ(task->terminationStatus(), 0);
    QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
    EXPECT_TRUE(ended.wait(endTimeoutMs));
}

TEST_F(LXPrivilegedTaskTest, AfterWaitUntilExitTheNextTimerFiringAnnouncesOnce) {
    const auto task = makeTask(m_scripts.write(QStringLiteral("brief"), "sleep 0.2; exit 3"));
    QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
    ASSERT_EQ(task->launch(), 0);
    task->waitUntilExit();
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->terminationStatus(), 768);
    EXPECT_TRUE(ended.isEmpty());
    ASSERT_TRUE(ended.wait(endTimeoutMs));
    EXPECT_EQ(task->terminationStatus(), 768) << "the second wait must not overwrite the status";
    QTest::qWait(3 * LXPrivilegedTask::checkStatusIntervalMs);
    EXPECT_EQ(ended.size(), 1);
}

TEST_F(LXPrivilegedTaskTest, RunningTaskKeepsItselfAliveUntilItsEndIsSeen) {
    std::weak_ptr<LXPrivilegedTask> watched;
    {
        const auto task = makeTask(m_scripts.write(QStringLiteral("alive"), "sleep 0.2"));
        ASSERT_EQ(task->launch(), 0);
        watched = task;
    }
    EXPECT_FALSE(watched.expired());
    for (int i = 0; i < 100 && !watched.expired(); ++i)
        QTest::qWait(LXPrivilegedTask::checkStatusIntervalMs);
    EXPECT_TRUE(watched.expired());
}

TEST_F(LXPrivilegedTaskTest, WaitingOnAnUnlaunchedTaskLeavesOtherChildrenAlone) {
    const auto running = makeTask(m_scripts.write(QStringLiteral("other"), "sleep 0.3; exit 3"));
    QSignalSpy ended(running.get(), &LXPrivilegedTask::didTerminate);
    ASSERT_EQ(running->launch(), 0);

    FakeAuthorization cancel("cancel");
    const auto failed = makeTask(QStringLiteral("/bin/true"));
    EXPECT_EQ(failed->launch(), LXPrivilegedTask::errAuthorizationCanceled);
    failed->waitUntilExit();
    EXPECT_FALSE(failed->isRunning());
    EXPECT_TRUE(running->isRunning());

    ASSERT_TRUE(ended.wait(endTimeoutMs));
    EXPECT_EQ(running->terminationStatus(), 768);
}

}  // namespace
