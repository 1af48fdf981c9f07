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

class LXPrivilegedTaskTest : public ::testing::Test {
protected:
    std::shared_ptr<LXPrivilegedTask> makeTask(const QString &path,
                                               const QStringList &arguments = {}) {
        auto task = LXPrivilegedTask::create(path, arguments);
        task->setAuthorizationHelper(QString::fromLocal8Bit(FakeAuthorization::helperPath));
        return task;
    }

    // The status of a launch: at once, or once it has settled.
    qint32 launchAndSettle(const std::shared_ptr<LXPrivilegedTask> &task) {
        QSignalSpy settled(task.get(), &LXPrivilegedTask::launchSettled);
        if (const qint32 status = task->launch(); status != 0) return status;
        EXPECT_TRUE(task->isLaunching());
        if (!settled.wait(endTimeoutMs)) return INT32_MIN;
        EXPECT_FALSE(task->isLaunching());
        return settled.first().first().value<qint32>();
    }

    // Launches, waits for the program and returns everything it wrote.
    QByteArray runToEnd(const std::shared_ptr<LXPrivilegedTask> &task) {
        QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
        EXPECT_EQ(launchAndSettle(task), 0);
        if (!task->outputFileHandle()) return {};
        const QByteArray output = task->outputFileHandle()->readAll();
        EXPECT_TRUE(ended.wait(endTimeoutMs));
        return output;
    }

    void TearDown() override {
        // Let invalidated timers and notifiers go, so every task of the test is freed.
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
    const QString program =
        m_scripts.write(QStringLiteral("args"), R"(sleep 0.3; printf '%s\0' "$#" "$@")");
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

// pkexec before 121 has no --keep-cwd: the program still starts, in root's home.
TEST_F(LXPrivilegedTaskTest, ProgramRunsInTheTaskDirectoryWhereTheHelperCanKeepIt) {
    const QString program = m_scripts.write(QStringLiteral("where"), "sleep 0.3; pwd -P");
    const QString directory = m_scripts.path() + QStringLiteral("/a folder");
    ASSERT_TRUE(QDir().mkpath(directory));
    const QString before = QDir::currentPath();
    const struct {
        QByteArray version;
        QString directory;
    } cases[] = {
        {"122", QFileInfo(directory).canonicalFilePath()},
        {"0.105", QStringLiteral("/")},
    };
    for (const auto &c : cases) {
        qputenv("FAKE_PKEXEC_VERSION", c.version);
        const auto task = makeTask(program);
        task->setCurrentDirectoryPath(directory);
        EXPECT_EQ(runToEnd(task).trimmed(), c.directory.toUtf8()) << c.version.constData();
        EXPECT_EQ(QDir::currentPath(), before);
    }
    qunsetenv("FAKE_PKEXEC_VERSION");
}

// A program that ends at the very moment it starts cannot be told from a helper that failed,
// so every program here lives a moment.
TEST_F(LXPrivilegedTaskTest, EndIsAnnouncedOnceWithTheRawStatusWord) {
    const struct {
        QByteArray body;
        qint32 status;
    } cases[] = {
        {"sleep 0.4; exit 3", 768},
        // The program's own 126 and 127 must not read as the helper's.
        {"sleep 0.3; exit 126", 126 * 256},
        {"sleep 0.3; echo 'Not authorized' >&2; exit 127", 127 * 256},
        {"sleep 0.3; exit 0", 0},
        {"sleep 0.3; kill -9 $$", SIGKILL},
    };
    for (const auto &c : cases) {
        const auto task = makeTask(m_scripts.write(QStringLiteral("ending"), c.body));
        QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
        ASSERT_EQ(launchAndSettle(task), 0) << c.body.constData();
        EXPECT_TRUE(task->isRunning());
        EXPECT_GT(task->processIdentifier(), 0);
        EXPECT_NE(task->outputFileHandle(), nullptr);
        ASSERT_TRUE(ended.wait(endTimeoutMs)) << c.body.constData();
        EXPECT_EQ(ended.first().first().value<LXPrivilegedTask *>(), task.get());
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->terminationStatus(), c.status) << c.body.constData();
        QTest::qWait(3 * LXPrivilegedTask::checkStatusIntervalMs);
        EXPECT_EQ(ended.size(), 1);
    }
}

// How each answer is told is the launcher's to test; here, what a failed launch leaves.
TEST_F(LXPrivilegedTaskTest, AFailedLaunchLeavesTheTaskAsCreatedAndNoProcessBehind) {
    const QString program = m_scripts.write(QStringLiteral("never"), "touch ran");
    const QString helper = QString::fromLocal8Bit(FakeAuthorization::helperPath);
    const struct {
        QByteArray answer;
        QString helper;
        QString program;
        qint32 status;
        int helperSignal;  // the helper's end, kept apart from the status
    } cases[] = {
        {"cancel", helper, program, LXPrivilegedTask::errAuthorizationCanceled, 0},
        {"killed", helper, program, LXPrivilegedTask::errAuthorizationToolEnvironmentError,
         SIGKILL},
        {"grant", helper, m_scripts.path() + QStringLiteral("/missing"),
         LXPrivilegedTask::errAuthorizationToolExecuteFailure, 0},
        {"grant", QStringLiteral("/nonexistent/pkexec"), program, ENOENT, 0},
    };
    for (const auto &c : cases) {
        FakeAuthorization answer(c.answer);
        const auto task = makeTask(c.program);
        task->setAuthorizationHelper(c.helper);
        QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
        const QString what = QString::fromLatin1(c.answer) + QLatin1Char(' ') + c.program;
        EXPECT_EQ(launchAndSettle(task), c.status) << what.toStdString();
        const qint32 helperEnd = task->helperTerminationStatus();
        EXPECT_EQ(WIFSIGNALED(helperEnd) ? WTERMSIG(helperEnd) : 0, c.helperSignal)
            << what.toStdString();
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->outputFileHandle(), nullptr);
        EXPECT_EQ(task->processIdentifier(), 0);
        EXPECT_TRUE(hasNoChildren()) << "the helper was not collected: " << what.toStdString();
        QTest::qWait(2 * LXPrivilegedTask::checkStatusIntervalMs);
        EXPECT_TRUE(ended.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(QDir::current().filePath(QStringLiteral("ran"))));
}

TEST_F(LXPrivilegedTaskTest, LaunchReturnsAtOnceAndSettlesWhenTheProgramRuns) {
    FakeAuthorization slow("slow");
    const auto task = makeTask(m_scripts.write(QStringLiteral("running"), "sleep 0.5"));
    QSignalSpy settled(task.get(), &LXPrivilegedTask::launchSettled);
    ASSERT_EQ(task->launch(), 0);
    EXPECT_TRUE(task->isLaunching()) << "the authorization is still under way";
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->processIdentifier(), 0);
    EXPECT_EQ(task->launch(), EBUSY);
    ASSERT_TRUE(settled.wait(endTimeoutMs));
    EXPECT_EQ(settled.first().first().value<qint32>(), 0);
    EXPECT_TRUE(task->isRunning());
    EXPECT_GT(task->processIdentifier(), 0);
    task->waitUntilExit();
    EXPECT_EQ(task->terminationStatus(), 0);
    QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
    EXPECT_TRUE(ended.wait(endTimeoutMs));
}

TEST_F(LXPrivilegedTaskTest, WaitUntilExitCoversAnUnsettledLaunchAndTheNextTimerAnnouncesOnce) {
    FakeAuthorization slow("slow");
    const auto task = makeTask(m_scripts.write(QStringLiteral("brief"), "sleep 0.4; exit 3"));
    QSignalSpy settled(task.get(), &LXPrivilegedTask::launchSettled);
    QSignalSpy ended(task.get(), &LXPrivilegedTask::didTerminate);
    ASSERT_EQ(task->launch(), 0);
    task->waitUntilExit();
    EXPECT_EQ(settled.size(), 1);
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
        FakeAuthorization slow("slow");
        const auto task = makeTask(m_scripts.write(QStringLiteral("alive"), "sleep 0.2"));
        ASSERT_EQ(task->launch(), 0);
        watched = task;
    }
    EXPECT_FALSE(watched.expired()) << "a launch under way holds its task";
    for (int i = 0; i < 100 && !watched.expired(); ++i)
        QTest::qWait(LXPrivilegedTask::checkStatusIntervalMs);
    EXPECT_TRUE(watched.expired());
}

TEST_F(LXPrivilegedTaskTest, WaitingOnAnUnlaunchedTaskLeavesOtherChildrenAlone) {
    const auto running = makeTask(m_scripts.write(QStringLiteral("other"), "sleep 0.3; exit 3"));
    QSignalSpy ended(running.get(), &LXPrivilegedTask::didTerminate);
    ASSERT_EQ(launchAndSettle(running), 0);

    const auto failed = makeTask(QStringLiteral("/nonexistent/program"));
    EXPECT_EQ(failed->launch(), LXPrivilegedTask::errAuthorizationToolExecuteFailure);
    failed->waitUntilExit();
    EXPECT_FALSE(failed->isRunning());
    EXPECT_TRUE(running->isRunning());

    ASSERT_TRUE(ended.wait(endTimeoutMs));
    EXPECT_EQ(running->terminationStatus(), 768);
}

}  // namespace
