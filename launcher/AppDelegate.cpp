#include "launcher/AppDelegate.h"

#include "launcher/LXPkexecAnswer.h"
#include "launcher/LXPrivilegedTask.h"
#include "launcher/LauncherWindow.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

const QString AppDelegate::builtVelmoraPath = QStringLiteral(VELMORA_BUILT_BESIDE_LAUNCHER);

namespace {

// Paths stay whole on a line of their own; the home folder is shortened to "~".
QString displayPath(const QString &path) {
    const QString home = QDir::homePath() + QLatin1Char('/');
    const QString clean = QDir::cleanPath(path);
    return clean.startsWith(home) ? QStringLiteral("~/") + clean.mid(home.size()) : clean;
}

bool handedOver(qint32 statusWord) {
    return WIFEXITED(statusWord) && WEXITSTATUS(statusWord) == AppDelegate::velmoraHandedOverStatus;
}

// How a process that ended did so, for a person: "exited with status 2".
QString howItEnded(qint32 statusWord) {
    if (WIFSIGNALED(statusWord))
        return AppDelegate::tr("was ended by signal %1 (%2)")
            .arg(WTERMSIG(statusWord))
            .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(statusWord))));
    return AppDelegate::tr("exited with status %1").arg(WEXITSTATUS(statusWord));
}

// What a program said, each line on a line of its own and set in, as paths are.
QString quoted(const QStringList &lines) {
    QString text;
    for (const QString &line : lines) text += QStringLiteral("\n    ") + line;
    return text;
}

// The last lines a program wrote on its error output.
QStringList lastLines(const QByteArray &said) {
    constexpr int shown = 4;
    const QStringList lines = LXPkexecAnswer::meaningfulLines(said);
    return lines.mid(qMax(0, lines.size() - shown));
}

}  // namespace

AppDelegate::AppDelegate(const LXBundle &bundle, QObject *parent)
    : QObject(parent), m_bundle(bundle) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::setWindow(LauncherWindow *window) {
    if (m_window) disconnect(m_window, nullptr, this, nullptr);
    m_window = window;
    if (m_window)
        connect(m_window, &LauncherWindow::retryRequested, this, &AppDelegate::launchVelmora);
}

void AppDelegate::applicationDidFinishLaunching() {
    launchVelmora();
    // Nothing here waits for the authorization, so the window can show at once.
    if (m_window) m_window->show();
}

QString AppDelegate::velmoraExecutablePath() const {
    const QString velmoraBundle =
        m_bundle.pathForResource(QStringLiteral("Velmora"), QStringLiteral("app"));
    const QString carried = velmoraBundle.isNull()
                                ? QString()
                                : LXBundle::bundleWithPath(velmoraBundle).executablePath();
    return carried.isEmpty() ? builtVelmoraExecutablePath() : carried;
}

QString AppDelegate::builtVelmoraExecutablePath() const {
    const QFileInfo built(QDir(m_bundle.bundlePath()).filePath(builtVelmoraPath));
    if (!built.isFile() || !built.isExecutable()) return {};
    qInfo().noquote() << "Velmora Launcher: no Velmora in the resources; using the one built at"
                      << built.canonicalFilePath();
    return built.canonicalFilePath();
}

QString AppDelegate::notFoundText() const {
    const QString indent = QStringLiteral("    ");
    return tr("Velmora was not found, so nothing was started.\n"
              "The launcher looked in its resources:\n%1\nand for a freshly built Velmora beside "
              "it:\n%2\n\n"
              "To install Velmora Launcher with Velmora inside, run in the source folder:\n%3\n"
              "then start \"Velmora Launcher\" from the desktop menu.")
        .arg(indent + displayPath(m_bundle.resourcePath() + QStringLiteral("/Velmora.app")),
             indent + displayPath(QDir(m_bundle.bundlePath()).filePath(builtVelmoraPath)),
             indent + QStringLiteral("sudo cmake --install build --prefix /usr"));
}

void AppDelegate::launchVelmora() {
    if (m_task) return;
    const QString executablePath = velmoraExecutablePath();
    if (executablePath.isEmpty()) {
        report(notFoundText(), tr("&Retry"));
        return;
    }
    auto task = LXPrivilegedTask::create(executablePath);
    if (qEnvironmentVariableIsSet(authorizationHelperVariable))
        task->setAuthorizationHelper(qEnvironmentVariable(authorizationHelperVariable));
    connect(task.get(), &LXPrivilegedTask::launchSettled, this, &AppDelegate::launchSettled);
    report(tr("Asking for permission to start Velmora…"));
    if (const qint32 status = task->launch(); status != 0)
        reportFailure(*task, status);
    else
        m_task = std::move(task);
}

void AppDelegate::launchSettled(qint32 status) {
    if (status == 0) {
        watchVelmora();
        return;
    }
    const std::shared_ptr<LXPrivilegedTask> task = std::move(m_task);
    if (handedOver(task->helperTerminationStatus()))
        reportHandedOver();
    else
        reportFailure(*task, status);
}

void AppDelegate::reportFailure(const LXPrivilegedTask &task, qint32 status) {
    QString text;
    switch (status) {
    case LXPrivilegedTask::errAuthorizationCanceled:
        text = tr("Velmora was not started: the authorization was cancelled.");
        break;
    case LXPrivilegedTask::errAuthorizationDenied:
        text = tr("Velmora was not started: the authorization was refused.");
        break;
    case LXPrivilegedTask::errAuthorizationInternal:
        text =
            tr("Velmora was not started: the authorization service (polkit) cannot be "
               "reached. Is polkit installed and running?");
        break;
    case LXPrivilegedTask::errAuthorizationInteractionNotAllowed:
        text =
            tr("Velmora was not started: no authentication agent is running to ask for "
               "the password.");
        break;
    case LXPrivilegedTask::errAuthorizationToolExecuteFailure:
        text =
            tr("Velmora was not started: %1 is missing or cannot be run.").arg(task.launchPath());
        break;
    case LXPrivilegedTask::errAuthorizationToolEnvironmentError:
        text = tr("Velmora was not started: the authorization failed (%1 %2).")
                   .arg(QFileInfo(task.authorizationHelper()).fileName(),
                        howItEnded(task.helperTerminationStatus()));
        if (!task.launchFailureMessage().isEmpty()) text += quoted({task.launchFailureMessage()});
        break;
    case ENOENT:
        text = tr("Velmora was not started: %1 is missing. Install the package \"pkexec\" "
                  "(sudo apt install pkexec) and try again.")
                   .arg(task.authorizationHelper());
        break;
    default:
        text = tr("Velmora was not started: the authorization helper %1 could not be run: %2")
                   .arg(task.authorizationHelper(), QString::fromLocal8Bit(strerror(status)));
    }
    report(text, tr("&Retry"));
}

void AppDelegate::watchVelmora() {
    connect(m_task.get(), &LXPrivilegedTask::didTerminate, this, &AppDelegate::velmoraDidTerminate);
    // Velmora would stall once a never-read pipe filled up, so its output is read and dropped.
    m_outputNotifier = std::make_unique<QSocketNotifier>(m_task->outputFileHandle()->handle(),
                                                         QSocketNotifier::Read);
    connect(m_outputNotifier.get(), &QSocketNotifier::activated, this, &AppDelegate::drainOutput);
    report(tr("Velmora is running (process %1).").arg(m_task->processIdentifier()));
}

void AppDelegate::velmoraDidTerminate() {
    const qint32 status = m_task->terminationStatus();
    const QStringList said = lastLines(m_task->lastErrorOutput());
    m_outputNotifier.reset();
    m_task.reset();
    if (handedOver(status))
        reportHandedOver();
    else if (status == 0)
        report(tr("Velmora has ended."), tr("&Start again"));
    else
        // Its reason, when it failed on its way up, is on its error output.
        report(tr("Velmora has ended: it %1.").arg(howItEnded(status)) +
                   (said.isEmpty() ? QString() : tr(" It said:") + quoted(said)),
               tr("&Start again"));
}

void AppDelegate::reportHandedOver() {
    report(tr("Velmora was already running; its window has been brought forward."),
           tr("&Start again"));
}

void AppDelegate::drainOutput() {
    char buffer[4096];
    const ssize_t count = ::read(m_outputNotifier->socket(), buffer, sizeof buffer);
    if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN))
        m_outputNotifier->setEnabled(false);
}

void AppDelegate::report(const QString &text, const QString &retryText) {
    qInfo().noquote() << "Velmora Launcher:" << text;
    m_statusText = text;
    if (m_window) {
        m_window->setStatusText(text);
        m_window->setRetryText(retryText);
    }
    emit statusTextChanged(text);
}
