#include "platform/linux/BrokerProcess.h"

#include "platform/linux/broker/BrokerChannel.h"
#include "platform/linux/broker/BrokerMessage.h"

#include <QFileInfo>
#include <QObject>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

const QString BrokerProcess::ProgramName = QStringLiteral("VelmoraBroker");

namespace {

constexpr int ChildSocketFd = 3;

}  // namespace

QString BrokerProcess::besideExecutable() {
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QFileInfo(self).absolutePath() + QLatin1Char('/') + ProgramName;
}

Result<BrokerProcess::Started> BrokerProcess::start(const QString &programPath) {
    UniqueFd ours, theirs;
    if (!BrokerChannel::makePair(ours, theirs)) {
        const int error = errno;
        return Failure{QObject::tr("Cannot make a socket for the keyboard helper: %1")
                           .arg(QString::fromLocal8Bit(strerror(error))),
                       error};
    }
    const QByteArray program = programPath.toLocal8Bit();
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        return Failure{QObject::tr("Cannot start the keyboard helper: %1")
                           .arg(QString::fromLocal8Bit(strerror(error))),
                       error};
    }
    if (pid == 0) runInChild(std::move(theirs), program);
    return Started{std::move(ours), pid};
}

void BrokerProcess::runInChild(UniqueFd socket, const QByteArray &program) {
    setsid();
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    for (int signal : {SIGTSTP, SIGTTIN, SIGTTOU}) sigaction(signal, &action, nullptr);
    // The broker ends on these through its own loop; an inherited "ignore" would hide them.
    action.sa_handler = SIG_DFL;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    if (socket.get() == ChildSocketFd)
        fcntl(ChildSocketFd, F_SETFD, 0);
    else
        dup2(socket.get(), ChildSocketFd);
    socket.release();
    close_range(ChildSocketFd + 1, ~0U, 0);

    char *const argv[] = {const_cast<char *>("VelmoraBroker"), nullptr};
    char *const envp[] = {nullptr};
    execve(program.constData(), argv, envp);
    unsigned char problem[BrokerMessage::HeaderBytes];
    BrokerMessage::problem(BrokerProblem::BrokerNotStarted, errno).encodeHeader(problem);
    send(ChildSocketFd, problem, sizeof problem, MSG_NOSIGNAL);
    _exit(127);
}
