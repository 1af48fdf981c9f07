#include "launcher/LXPrivilegedTask.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>

extern char **environ;

const QString LXPrivilegedTask::defaultAuthorizationHelper = QStringLiteral("/usr/bin/pkexec");

namespace {

// The kernel keeps at most 15 bytes of a program's file name as the process name.
constexpr qsizetype processNameLength = 15;
constexpr int helperExitCanceled = 126;
constexpr int helperExitRefused = 127;
// The helper usually becomes the program within a millisecond or two; an authorization dialog
// takes seconds. So the name is looked at often at first, then every 10 ms.
constexpr long firstPollNs = 1'000'000;
constexpr long longestPollNs = 10'000'000;

QByteArray processName(pid_t pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) return {};
    return comm.readAll().trimmed();
}

QByteArray expectedProcessName(const QString &launchPath) {
    return QFile::encodeName(QFileInfo(launchPath).fileName()).left(processNameLength);
}

int spawnWithOutput(const std::vector<QByteArray> &command, const QByteArray &cwd, int outputFd,
                    pid_t *pid) {
    std::vector<char *> argv;
    for (const QByteArray &arg : command) argv.push_back(const_cast<char *>(arg.constData()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    // The directory is changed in the child only, so no other thread sees it move.
    if (!cwd.isEmpty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.constData());
    const int error = posix_spawnp(pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

// Status of a helper that ended before the program ran.
qint32 helperFailureStatus(int statusWord) {
    if (WIFSIGNALED(statusWord)) return 128 + WTERMSIG(statusWord);
    return WEXITSTATUS(statusWord) == helperExitCanceled
               ? LXPrivilegedTask::errAuthorizationCanceled
               : LXPrivilegedTask::errAuthorizationDenied;
}

// Any exit status but the helper's own two means the program ran and ended with it.
bool programHasRun(int statusWord) {
    if (!WIFEXITED(statusWord)) return false;
    const int code = WEXITSTATUS(statusWord);
    return code != helperExitCanceled && code != helperExitRefused;
}

int statusWord(const siginfo_t &info) {
    return info.si_code == CLD_EXITED ? (info.si_status & 0xff) << 8 : info.si_status & 0x7f;
}

// Writes the status word only when the process was collected; returns what waitpid returns.
pid_t waitForChild(pid_t pid, int options, qint32 *statusWord) {
    int status = 0;
    pid_t result;
    while ((result = waitpid(pid, &status, options)) == -1 && errno == EINTR) {
    }
    if (result == pid) *statusWord = status;
    return result;
}

qint32 endedHelperStatus(pid_t pid, int statusWord) {
    // When the program ran, its zombie stays for the status timer to collect.
    if (programHasRun(statusWord)) return 0;
    qint32 collected = 0;
    waitForChild(pid, 0, &collected);
    return helperFailureStatus(statusWord);
}

void sleepBriefly(long *intervalNs) {
    const timespec interval{0, *intervalNs};
    nanosleep(&interval, nullptr);
    *intervalNs = std::min(*intervalNs * 2, longestPollNs);
}

}  // namespace

LXPrivilegedTask::LXPrivilegedTask()
    : m_cwd(QDir::currentPath()), m_authorizationHelper(defaultAuthorizationHelper) {}

std::shared_ptr<LXPrivilegedTask> LXPrivilegedTask::create() {
    return std::shared_ptr<LXPrivilegedTask>(new LXPrivilegedTask);
}

std::shared_ptr<LXPrivilegedTask> LXPrivilegedTask::create(const QString &launchPath) {
    auto task = create();
    task->setLaunchPath(launchPath);
    return task;
}

std::shared_ptr<LXPrivilegedTask> LXPrivilegedTask::create(const QString &launchPath,
                                                           const QStringList &arguments) {
    auto task = create(launchPath);
    task->setArguments(arguments);
    return task;
}

std::shared_ptr<LXPrivilegedTask> LXPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(
    const QString &path) {
    return launchedPrivilegedTaskWithLaunchPath(path, {});
}

std::shared_ptr<LXPrivilegedTask> LXPrivilegedTask::launchedPrivilegedTaskWithLaunchPath(
    const QString &path, const QStringList &arguments) {
    auto task = create(path, arguments);
    task->launch();
    task->waitUntilExit();
    return task;
}

std::vector<QByteArray> LXPrivilegedTask::helperCommand() const {
    // No shell: every argument reaches the program as one word, whatever it contains.
    std::vector<QByteArray> command{QFile::encodeName(m_authorizationHelper),
                                    QByteArrayLiteral("--keep-cwd"),
                                    QFile::encodeName(m_launchPath)};
    for (const QString &argument : m_arguments) command.push_back(QFile::encodeName(argument));
    return command;
}

qint32 LXPrivilegedTask::launch() {
    // Until its end has been seen (timer gone), the task still follows its previous program.
    if (m_isRunning || m_checkStatusTimer) return EBUSY;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
    pid_t helperPid = 0;
    const int spawnError =
        spawnWithOutput(helperCommand(), QFile::encodeName(m_cwd), pipeFds[1], &helperPid);
    close(pipeFds[1]);
    const qint32 status = spawnError != 0 ? spawnError : awaitAuthorization(helperPid);
    if (status != 0) {
        close(pipeFds[0]);
        return status;
    }
    m_isRunning = true;
    m_outputFileHandle = std::make_unique<QFile>();
    m_outputFileHandle->open(pipeFds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    m_pid = helperPid;
    scheduleStatusTimer();
    return 0;
}

// The helper keeps its process id when it becomes the program, so the program runs once that
// process carries the program's name. A helper that ended is still a zombie here (WNOWAIT), so
// its last name tells whether it got as far as the program.
qint32 LXPrivilegedTask::awaitAuthorization(qint32 helperPid) const {
    const QByteArray programName = expectedProcessName(m_launchPath);
    long pollNs = firstPollNs;
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, helperPid, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno != EINTR)
            return errno;
        const bool ended = info.si_pid == helperPid;
        if (processName(helperPid) == programName) return 0;
        if (ended) return endedHelperStatus(helperPid, statusWord(info));
        sleepBriefly(&pollNs);
    }
}

void LXPrivilegedTask::scheduleStatusTimer() {
    m_checkStatusTimer = new QTimer;
    m_checkStatusTimer->setInterval(checkStatusIntervalMs);
    // Like a scheduled timer, it holds its target until it is invalidated.
    connect(m_checkStatusTimer, &QTimer::timeout, m_checkStatusTimer,
            [self = shared_from_this()] { self->_checkTaskStatus(); });
    m_checkStatusTimer->start();
}

void LXPrivilegedTask::invalidateStatusTimer() {
    if (!m_checkStatusTimer) return;
    m_checkStatusTimer->stop();
    // Deleted on the next pass of the event loop, which also lets go of the task.
    m_checkStatusTimer->deleteLater();
    m_checkStatusTimer = nullptr;
}

void LXPrivilegedTask::_checkTaskStatus() {
    if (waitForChild(m_pid, WNOHANG, &m_terminationStatus) == 0) return;
    m_isRunning = false;
    // Invalidated before the announcement, so an observer may launch the task again.
    invalidateStatusTimer();
    emit didTerminate(this);
}

void LXPrivilegedTask::waitUntilExit() {
    // Without a launch there is no process of ours; waiting on 0 would take any child of the group.
    if (m_pid > 0) waitForChild(m_pid, 0, &m_terminationStatus);
    m_isRunning = false;
}

QString LXPrivilegedTask::description() const {
    QString text;
    QDebug(&text).nospace() << static_cast<const QObject *>(this);
    for (const QString &piece : QStringList{m_launchPath} + m_arguments)
        text += QLatin1Char(' ') + piece;
    return text;
}
