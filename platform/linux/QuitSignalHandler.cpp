#include "platform/linux/QuitSignalHandler.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {
constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};
}

int QuitSignalHandler::s_writeFd = -1;

QuitSignalHandler::QuitSignalHandler(QObject *parent) : QObject(parent) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_readFd = fds[0];
    s_writeFd = fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &QuitSignalHandler::drainAndQuit);
    struct sigaction action = {};
    action.sa_handler = &QuitSignalHandler::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : HandledSignals) sigaction(signal, &action, nullptr);
}

QuitSignalHandler::~QuitSignalHandler() {
    for (int signal : HandledSignals) std::signal(signal, SIG_DFL);
    m_notifier.reset();
    if (m_readFd >= 0) ::close(m_readFd);
    if (s_writeFd >= 0) ::close(s_writeFd);
    s_writeFd = -1;
}

void QuitSignalHandler::onSignal(int signal) {
    const int savedErrno = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t ignored = ::write(s_writeFd, &byte, 1);
    errno = savedErrno;
}

void QuitSignalHandler::drainAndQuit() {
    char bytes[16];
    while (::read(m_readFd, bytes, sizeof(bytes)) > 0) {
    }
    QCoreApplication::quit();
}
