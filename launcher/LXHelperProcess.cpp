#include "launcher/LXHelperProcess.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>
#include <utility>

extern char **environ;

namespace {

int makePipe(int fds[2], int flags) { return pipe2(fds, O_CLOEXEC | flags) == 0 ? 0 : errno; }

void closeAll(std::initializer_list<int> fds) {
    for (int fd : fds)
        if (fd >= 0) close(fd);
}

// Output and error output go to `outputFd` and `errorFd`; `execFd` stays open in the child
// (a dup2 onto itself clears close-on-exec).
int spawn(const std::vector<QByteArray> &command, const QByteArray &directory, int outputFd,
          int errorFd, int execFd, pid_t *pid) {
    std::vector<char *> argv;
    for (const QByteArray &arg : command) argv.push_back(const_cast<char *>(arg.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, execFd, execFd);
    // The directory is changed in the child only, so no other thread sees it move.
    if (!directory.isEmpty()) posix_spawn_file_actions_addchdir_np(&actions, directory.constData());
    const int error = posix_spawnp(pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

LXHelperProcess::~LXHelperProcess() { closeAll({m_outputFd, m_errorFd, m_execFd}); }

int LXHelperProcess::start(const std::vector<QByteArray> &command, const QByteArray &directory) {
    int output[2], errors[2], exec[2];
    // The program's output is read the ordinary, blocking way.
    int error = makePipe(output, 0);
    if (!error && (error = makePipe(errors, O_NONBLOCK)) != 0) closeAll({output[0], output[1]});
    if (!error && (error = makePipe(exec, O_NONBLOCK)) != 0)
        closeAll({output[0], output[1], errors[0], errors[1]});
    if (error) return error;
    error = spawn(command, directory, output[1], errors[1], exec[1], &m_pid);
    closeAll({output[1], errors[1], exec[1]});
    if (error) {
        closeAll({output[0], errors[0], exec[0]});
        m_pid = 0;
        return error;
    }
    m_outputFd = output[0];
    m_errorFd = errors[0];
    m_execFd = exec[0];
    m_execNotifier = new QSocketNotifier(m_execFd, QSocketNotifier::Read, this);
    connect(m_execNotifier, &QSocketNotifier::activated, this, &LXHelperProcess::onExecPipe);
    m_errorNotifier = new QSocketNotifier(m_errorFd, QSocketNotifier::Read, this);
    connect(m_errorNotifier, &QSocketNotifier::activated, this, &LXHelperProcess::readErrorOutput);
    return 0;
}

bool LXHelperProcess::hasEnded() const {
    siginfo_t info{};
    while (waitid(P_PID, m_pid, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == EINTR) {
    }
    return info.si_pid == m_pid;
}

bool LXHelperProcess::endsWithin(int ms) const {
    for (int waited = 0;; ++waited) {
        if (hasEnded()) return true;
        if (waited >= ms) return false;
        const timespec millisecond{0, 1'000'000};
        nanosleep(&millisecond, nullptr);
    }
}

bool LXHelperProcess::collect(bool block, qint32 *statusWord) {
    int status = 0;
    pid_t result;
    while ((result = waitpid(m_pid, &status, block ? 0 : WNOHANG)) == -1 && errno == EINTR) {
    }
    if (result == m_pid) *statusWord = status;
    return result != 0;
}

int LXHelperProcess::takeOutput() { return std::exchange(m_outputFd, -1); }

void LXHelperProcess::onExecPipe() {
    if (readExecPipe()) emit execPipeEnded();
}

// True once the exec pipe has ended; it is closed then.
bool LXHelperProcess::readExecPipe() {
    char byte;
    const ssize_t count = read(m_execFd, &byte, 1);
    // Nothing is ever written: only the end (or a broken pipe) means anything.
    if (count > 0 || (count < 0 && (errno == EAGAIN || errno == EINTR))) return false;
    // Deleted later: this may run inside its notification.
    m_execNotifier->setEnabled(false);
    m_execNotifier->deleteLater();
    m_execNotifier = nullptr;
    closeAll({std::exchange(m_execFd, -1)});
    return true;
}

void LXHelperProcess::readErrorOutput() {
    char buffer[4096];
    while (m_errorFd >= 0) {
        const ssize_t count = read(m_errorFd, buffer, sizeof buffer);
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (count <= 0) {
            closeErrorOutput();
            return;
        }
        [[maybe_unused]] const ssize_t passed = write(STDERR_FILENO, buffer, size_t(count));
        emit errorOutput(QByteArray(buffer, count));
    }
}

void LXHelperProcess::closeErrorOutput() {
    m_errorNotifier->setEnabled(false);
    m_errorNotifier->deleteLater();
    m_errorNotifier = nullptr;
    closeAll({std::exchange(m_errorFd, -1)});
}

void LXHelperProcess::waitForExecPipe() {
    while (m_execFd >= 0) {
        waitReadable(-1);
        readErrorOutput();
        readExecPipe();
    }
}

void LXHelperProcess::waitForEnd(qint32 *statusWord) {
    // The error output is kept flowing, so that the program never stalls on a full pipe.
    constexpr int checkMs = 100;
    while (!collect(false, statusWord)) {
        waitReadable(checkMs);
        readErrorOutput();
    }
}

void LXHelperProcess::waitReadable(int timeoutMs) const {
    pollfd polled[2];
    nfds_t count = 0;
    for (int fd : {m_execFd, m_errorFd})
        if (fd >= 0) polled[count++] = {fd, POLLIN, 0};
    poll(polled, count, timeoutMs);
}
