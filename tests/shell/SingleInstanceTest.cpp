#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstring>

namespace {

constexpr uid_t Nobody = 65534;

void processEventsFor(
    int ms, const std::function<bool()> &done = [] { return false; }) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

sockaddr_un addressOf(const QString &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    return address;
}

// A process of another user (nobody), forked: only async-signal-safe calls from here on.
pid_t asNobody(const std::function<void()> &body) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    body();
    _exit(0);
}

void becomeNobody() {
    if (setresgid(Nobody, Nobody, Nobody) != 0 || setresuid(Nobody, Nobody, Nobody) != 0) _exit(1);
}

class SingleInstanceTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("velmora-test")); }
    QTemporaryDir m_dir;
};

TEST_F(SingleInstanceTest, FirstStartFindsNobodyAndLaterStartsHandOver) {
    SingleInstance first(path());
    EXPECT_FALSE(first.handOverToRunning(200));
    ASSERT_TRUE(first.listen());

    int reopens = 0;
    QObject::connect(&first, &SingleInstance::reopenRequested, [&] { ++reopens; });
    for (int start = 1; start <= 2; ++start) {
        SingleInstance later(path());
        EXPECT_TRUE(later.handOverToRunning());
        processEventsFor(5000, [&] { return reopens == start; });
        EXPECT_EQ(reopens, start);
    }
}

TEST_F(SingleInstanceTest, AStaleSocketFromACrashedInstanceDoesNotBlockTheNextStart) {
    {
        SingleInstance crashed(path());
        ASSERT_TRUE(crashed.listen());
    }
    SingleInstance next(path());
    EXPECT_FALSE(next.handOverToRunning(200));
    EXPECT_TRUE(next.listen());
}

TEST_F(SingleInstanceTest, AnotherUsersSocketIsNeitherHandedOverToNorAnswered) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    // A squatter that took the name and answers everything, as any local user could.
    const sockaddr_un address = addressOf(path());
    const pid_t squatter = asNobody([&] {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) _exit(1);
        becomeNobody();
        listen(fd, 8);
        for (;;) {
            const int client = accept(fd, nullptr, nullptr);
            char buffer[64];
            while (read(client, buffer, sizeof buffer) > 0) {
            }
            close(client);
        }
    });
    processEventsFor(5000, [&] { return QFile::exists(path()); });
    SingleInstance velmora(path());
    EXPECT_FALSE(velmora.handOverToRunning(500)) << "Velmora must not end for a squatter";
    EXPECT_TRUE(velmora.listen());
    kill(squatter, SIGKILL);
    waitpid(squatter, nullptr, 0);

    int reopens = 0;
    QObject::connect(&velmora, &SingleInstance::reopenRequested, [&] { ++reopens; });
    chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    chmod(QFile::encodeName(path()).constData(), 0777);
    const pid_t stranger = asNobody([&] {
        becomeNobody();
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
            _exit(1);
        [[maybe_unused]] const ssize_t written = write(fd, "reopen\n", 7);
    });
    int status = 0;
    waitpid(stranger, &status, 0);
    ASSERT_EQ(status, 0) << "the stranger could not reach the socket";
    processEventsFor(300);
    EXPECT_EQ(reopens, 0) << "another user's request was answered";
}

}  // namespace
