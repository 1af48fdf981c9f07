#include "launcher/LXPrivilegedTask.h"

#include "launcher/LXHelperProcess.h"
#include "launcher/LXPkexecAnswer.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cerrno>
#include <cstring>

const QString LXPrivilegedTask::defaultAuthorizationHelper = QStringLiteral("/usr/bin/pkexec");

namespace {

// A process that ends closes its descriptors a moment before it can be waited for; so the end
// of the exec pipe is taken for the program's start only once the helper outlived it this long.
constexpr int execGraceMs = 100;
// Enough of the error output to tell why the helper failed or the program ended.
constexpr qsizetype keptErrorOutput = 4096;
// "pkexec --version" answers at once, without asking anyone.
constexpr int versionTimeoutMs = 3000;

}  // namespace

LXPrivilegedTask::LXPrivilegedTask()
    : m_cwd(QDir::currentPath()), m_authorizationHelper(defaultAuthorizationHelper) {}

LXPrivilegedTask::~LXPrivilegedTask() = default;

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

std::vector<QByteArray> LXPrivilegedTask::helperCommand(bool keepCwd) const {
    // No shell: every argument reaches the program as one word, whatever it contains.
    std::vector<QByteArray> command{QFile::encodeName(m_authorizationHelper)};
    if (keepCwd) command.push_back(QByteArrayLiteral("--keep-cwd"));
    command.push_back(QFile::encodeName(m_launchPath));
    for (const QString &argument : m_arguments) command.push_back(QFile::encodeName(argument));
    return command;
}

// An older helper would take the option for the program, so it is asked first.
bool LXPrivilegedTask::helperKeepsCwd() const {
    QProcess version;
    version.start(m_authorizationHelper, {QStringLiteral("--version")});
    if (!version.waitForFinished(versionTimeoutMs)) version.kill();
    version.waitForFinished();
    return LXPkexecAnswer::supportsKeepCwd(version.readAllStandardOutput());
}

qint32 LXPrivilegedTask::launch() {
    // Until its end has been seen, the task still follows its previous program.
    if (m_process) return EBUSY;
    const QFileInfo program(m_launchPath);
    // Asking for a password to run nothing would only waste the person's time.
    if (!program.isFile() || !program.isExecutable())
        return failAtOnce(errAuthorizationToolExecuteFailure,
                          tr("%1 is missing or not executable.").arg(m_launchPath));
    auto process = std::make_unique<LXHelperProcess>();
    if (const int error = process->start(helperCommand(helperKeepsCwd()), QFile::encodeName(m_cwd)))
        return failAtOnce(error, QString::fromLocal8Bit(strerror(error)));
    m_process = process.release();
    m_isLaunching = true;
    m_helperTerminationStatus = 0;
    m_launchFailureMessage.clear();
    m_lastErrorOutput.clear();
    connect(m_process, &LXHelperProcess::errorOutput, this, &LXPrivilegedTask::keepErrorOutput);
    // This connection holds the task until the process is let go of.
    connect(m_process, &LXHelperProcess::execPipeEnded, m_process,
            [self = shared_from_this()] { self->onExecPipeEnded(); });
    return 0;
}

qint32 LXPrivilegedTask::failAtOnce(qint32 status, const QString &message) {
    m_helperTerminationStatus = 0;
    m_launchFailureMessage = message;
    return status;
}

void LXPrivilegedTask::onExecPipeEnded() {
    if (m_process->hasEnded())
        settleLaunch();
    else
        QTimer::singleShot(execGraceMs, this, &LXPrivilegedTask::settleLaunch);
}

void LXPrivilegedTask::keepErrorOutput(const QByteArray &chunk) {
    m_lastErrorOutput = (m_lastErrorOutput + chunk).right(keptErrorOutput);
}

void LXPrivilegedTask::settleLaunch() {
    if (!m_isLaunching) return;
    m_isLaunching = false;
    if (m_process->hasEnded())
        settleAsFailed();
    else
        settleAsRunning();
}

void LXPrivilegedTask::settleAsRunning() {
    m_pid = m_process->pid();
    m_isRunning = true;
    m_lastErrorOutput.clear();
    m_outputFileHandle = std::make_unique<QFile>();
    m_outputFileHandle->open(m_process->takeOutput(), QIODevice::ReadOnly,
                             QFileDevice::AutoCloseHandle);
    m_checkStatusTimer = new QTimer(this);
    m_checkStatusTimer->setInterval(checkStatusIntervalMs);
    connect(m_checkStatusTimer, &QTimer::timeout, this, &LXPrivilegedTask::_checkTaskStatus);
    m_checkStatusTimer->start();
    emit launchSettled(0);
}

void LXPrivilegedTask::settleAsFailed() {
    // The helper is gone, so whatever it said is in the pipe already.
    m_process->readErrorOutput();
    m_process->collect(true, &m_helperTerminationStatus);
    const LXPkexecAnswer::Outcome outcome =
        LXPkexecAnswer::outcome(m_helperTerminationStatus, m_lastErrorOutput);
    m_launchFailureMessage = outcome.message;
    letGoOfProcess();
    emit launchSettled(outcome.status);
}

// Deleted later: this may run inside one of its notifications, and it lets go of the task.
void LXPrivilegedTask::letGoOfProcess() {
    m_process->deleteLater();
    m_process = nullptr;
}

void LXPrivilegedTask::_checkTaskStatus() {
    if (!m_process->collect(false, &m_terminationStatus)) return;
    m_isRunning = false;
    // What the program said last is passed on before its end is announced.
    m_process->readErrorOutput();
    letGoOfProcess();
    // Invalidated before the announcement, so an observer may launch the task again.
    m_checkStatusTimer->stop();
    m_checkStatusTimer->deleteLater();
    m_checkStatusTimer = nullptr;
    emit didTerminate(this);
}

void LXPrivilegedTask::waitUntilExit() {
    if (m_isLaunching) {
        m_process->waitForExecPipe();
        m_process->endsWithin(execGraceMs);
        settleLaunch();
    }
    // Without a running program there is no process of ours to wait for.
    if (m_isRunning) m_process->waitForEnd(&m_terminationStatus);
    m_isRunning = false;
}

QString LXPrivilegedTask::description() const {
    QString text;
    QDebug(&text).nospace() << static_cast<const QObject *>(this);
    for (const QString &piece : QStringList{m_launchPath} + m_arguments)
        text += QLatin1Char(' ') + piece;
    return text;
}
