#include "launcher/LXPrivilegedTask.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>

extern char **environ;

const QString LXPrivilegedTask::defaultAuthorizationHelper = QStringLiteral("/usr/bin/pkexec");

namespace {

constexpr int helperExitCanceled = 126;
// A process that ends closes its descriptors a moment before it can be waited for; so the end
// of the exec pipe is taken for the program's start only once the helper outlived it this long.
constexpr int execGraceMs = 100;
// Enough of the helper's error output to tell why it failed.
constexpr qsizetype keptHelperOutput = 4096;

// What pkexec writes before it ends with 127, and what each means; the first match wins.
const struct {
    const char *said;
    const char *unless;
    qint32 status;
} helperFailures[] = {
    {"Error getting authority", nullptr, LXPrivilegedTask::errAuthorizationInternal},
    {"authentication agent", nullptr, LXPrivilegedTask::errAuthorizationInteractionNotAllowed},
    {"Not authorized", nullptr, LXPrivilegedTask::errAuthorizationDenied},
    {"Error accessing ", nullptr, LXPrivilegedTask::errAuthorizationToolExecuteFailure},
    {"Error executing ", "as another user", LXPrivilegedTask::errAuthorizationToolExecuteFailure},
};

qint32 helperFailureStatus(int statusWord, const QByteArray &said) {
    if (WIFEXITED(statusWord) && WEXITSTATUS(statusWord) == helperExitCanceled)
        return LXPrivilegedTask::errAuthorizationCanceled;
    for (const auto &failure : helperFailures)
        if (said.contains(failure.said) && !(failure.unless && said.contains(failure.unless)))
            return failure.status;
    return LXPrivilegedTask::errAuthorizationToolEnvironmentError;
}

int makePipe(int fds[2], int flags = O_NONBLOCK) {
    return pipe2(fds, O_CLOEXEC | flags) == 0 ? 0 : errno;
}

void closeAll(std::initializer_list<int> fds) {
    for (int fd : fds)
        if (fd >= 0) close(fd);
}

// The helper's output and error output go to `outputFd` and `errorFd`; `execFd` stays open in
// it (a dup2 onto itself clears close-on-exec) until the helper marks it and becomes the program.
int spawnHelper(const std::vector<QByteArray> &command, const QByteArray &cwd,
                std::array<int, 3> fds, pid_t *pid) {
    const auto [outputFd, errorFd, execFd] = fds;
    std::vector<char *> argv;
    for (const QByteArray &arg : command) argv.push_back(const_cast<char *>(arg.constData()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, execFd, execFd);
    // The directory is changed in the child only, so no other thread sees it move.
    if (!cwd.isEmpty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.constData());
    const int error = posix_spawnp(pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
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

bool hasEnded(pid_t pid) {
    siginfo_t info{};
    while (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == EINTR) {
    }
    return info.si_pid == pid;
}

// Polls, for at most `ms`, whether the helper has ended.
bool endsWithin(pid_t pid, int ms) {
    for (int waited = 0;; ++waited) {
        if (hasEnded(pid)) return true;
        if (waited >= ms) return false;
        const timespec millisecond{0, 1'000'000};
        nanosleep(&millisecond, nullptr);
    }
}

void waitReadable(std::initializer_list<int> fds, int timeoutMs) {
    std::vector<pollfd> polled;
    for (int fd : fds)
        if (fd >= 0) polled.push_back({fd, POLLIN, 0});
    poll(polled.data(), polled.size(), timeoutMs);
}

}  // namespace

LXPrivilegedTask::LXPrivilegedTask()
    : m_cwd(QDir::currentPath()), m_authorizationHelper(defaultAuthorizationHelper) {}

LXPrivilegedTask::~LXPrivilegedTask() { closeAll({m_execFd, m_errorFd, m_outputFd}); }

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
    if (isLaunching() || m_isRunning || m_checkStatusTimer) return EBUSY;
    const QFileInfo program(m_launchPath);
    // Asking for a password to run nothing would only waste the person's time.
    if (!program.isFile() || !program.isExecutable())
        return failAtOnce(errAuthorizationToolExecuteFailure,
                          tr("%1 is missing or not executable.").arg(m_launchPath));
    int output[2], errors[2], exec[2];
    // The program's output is read the ordinary, blocking way.
    int error = makePipe(output, 0);
    if (!error && (error = makePipe(errors)) != 0) closeAll({output[0], output[1]});
    if (!error && (error = makePipe(exec)) != 0)
        closeAll({output[0], output[1], errors[0], errors[1]});
    if (error) return failAtOnce(error, QString::fromLocal8Bit(strerror(error)));
    pid_t helperPid = 0;
    error = spawnHelper(helperCommand(), QFile::encodeName(m_cwd), {output[1], errors[1], exec[1]},
                        &helperPid);
    closeAll({output[1], errors[1], exec[1]});
    if (error) {
        closeAll({output[0], errors[0], exec[0]});
        return failAtOnce(error, QString::fromLocal8Bit(strerror(error)));
    }
    m_helperPid = helperPid;
    m_helperTerminationStatus = 0;
    m_launchFailureMessage.clear();
    m_helperSaid.clear();
    watchHelper(exec[0], errors[0], output[0]);
    return 0;
}

qint32 LXPrivilegedTask::failAtOnce(qint32 status, const QString &message) {
    m_helperTerminationStatus = 0;
    m_launchFailureMessage = message;
    return status;
}

void LXPrivilegedTask::watchHelper(int execFd, int errorFd, int outputFd) {
    m_execFd = execFd;
    m_errorFd = errorFd;
    m_outputFd = outputFd;
    // While the authorization is under way the task holds itself through this connection.
    m_execNotifier = new QSocketNotifier(m_execFd, QSocketNotifier::Read);
    connect(m_execNotifier, &QSocketNotifier::activated, m_execNotifier,
            [self = shared_from_this()] { self->onExecPipe(); });
    m_errorNotifier = new QSocketNotifier(m_errorFd, QSocketNotifier::Read, this);
    connect(m_errorNotifier, &QSocketNotifier::activated, this, &LXPrivilegedTask::onErrorOutput);
}

void LXPrivilegedTask::onExecPipe() {
    if (!readExecPipe()) return;
    if (hasEnded(m_helperPid)) {
        settleLaunch();
        return;
    }
    QTimer::singleShot(execGraceMs, this, [self = shared_from_this()] { self->settleLaunch(); });
}

// True once the exec pipe has ended; it is closed then.
bool LXPrivilegedTask::readExecPipe() {
    char byte;
    const ssize_t count = read(m_execFd, &byte, 1);
    // Nothing is ever written: only the end (or a broken pipe) means anything.
    if (count > 0 || (count < 0 && (errno == EAGAIN || errno == EINTR))) return false;
    m_execNotifier->setEnabled(false);
    // Deleted later: this may run inside its notification, and it lets go of the task.
    m_execNotifier->deleteLater();
    m_execNotifier = nullptr;
    closeAll({m_execFd});
    m_execFd = -1;
    return true;
}

void LXPrivilegedTask::onErrorOutput() {
    if (!readErrorOutput()) stopErrorOutput();
}

// Passes on what the helper, then the program, writes on its error output; while the launch
// is unsettled, also keeps it to tell why a launch failed. False at the end of the output.
bool LXPrivilegedTask::readErrorOutput() {
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(m_errorFd, buffer, sizeof buffer);
        if (count < 0) return errno == EAGAIN || errno == EINTR;
        if (count == 0) return false;
        [[maybe_unused]] const ssize_t passed = write(STDERR_FILENO, buffer, size_t(count));
        if (isLaunching())
            m_helperSaid = (m_helperSaid + QByteArray(buffer, count)).right(keptHelperOutput);
    }
}

void LXPrivilegedTask::settleLaunch() {
    if (!isLaunching()) return;
    if (hasEnded(m_helperPid))
        settleAsFailed();
    else
        settleAsRunning();
}

void LXPrivilegedTask::settleAsRunning() {
    m_pid = m_helperPid;
    m_helperPid = 0;
    m_isRunning = true;
    m_outputFileHandle = std::make_unique<QFile>();
    m_outputFileHandle->open(m_outputFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    m_outputFd = -1;
    scheduleStatusTimer();
    emit launchSettled(0);
}

void LXPrivilegedTask::settleAsFailed() {
    // The helper is gone, so whatever it said is in the pipe already.
    if (m_errorFd >= 0) readErrorOutput();
    qint32 statusWord = 0;
    waitForChild(m_helperPid, 0, &statusWord);
    const qint32 status = helperFailureStatus(statusWord, m_helperSaid);
    m_helperPid = 0;
    m_helperTerminationStatus = statusWord;
    m_launchFailureMessage = QString::fromLocal8Bit(m_helperSaid).trimmed();
    stopErrorOutput();
    closeAll({m_outputFd});
    m_outputFd = -1;
    emit launchSettled(status);
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

void LXPrivilegedTask::stopErrorOutput() {
    if (!m_errorNotifier) return;
    m_errorNotifier->setEnabled(false);
    m_errorNotifier->deleteLater();
    m_errorNotifier = nullptr;
    closeAll({m_errorFd});
    m_errorFd = -1;
}

void LXPrivilegedTask::_checkTaskStatus() {
    if (waitForChild(m_pid, WNOHANG, &m_terminationStatus) == 0) return;
    m_isRunning = false;
    // What the program said last is passed on before its end is announced.
    if (m_errorFd >= 0) readErrorOutput();
    stopErrorOutput();
    // Invalidated before the announcement, so an observer may launch the task again.
    invalidateStatusTimer();
    emit didTerminate(this);
}

void LXPrivilegedTask::waitUntilExit() {
    while (m_execFd >= 0) {
        waitReadable({m_execFd, m_errorFd}, -1);
        if (m_errorFd >= 0 && !readErrorOutput()) stopErrorOutput();
        readExecPipe();
    }
    if (isLaunching()) {
        endsWithin(m_helperPid, execGraceMs);
        settleLaunch();
    }
    // Without a launch there is no process of ours; waiting on 0 would take any child of the group.
    if (m_pid <= 0) {
        m_isRunning = false;
        return;
    }
    // The program's error output is kept flowing, so that it never stalls on a full pipe.
    while (waitForChild(m_pid, WNOHANG, &m_terminationStatus) == 0) {
        waitReadable({m_errorFd}, checkStatusIntervalMs);
        if (m_errorFd >= 0 && !readErrorOutput()) stopErrorOutput();
    }
    m_isRunning = false;
}

QString LXPrivilegedTask::description() const {
    QString text;
    QDebug(&text).nospace() << static_cast<const QObject *>(this);
    for (const QString &piece : QStringList{m_launchPath} + m_arguments)
        text += QLatin1Char(' ') + piece;
    return text;
}
