#include "launcher/AppDelegate.h"

#include "launcher/LXPrivilegedTask.h"
#include "launcher/LauncherWindow.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <unistd.h>
#include <cerrno>

const QString AppDelegate::builtVelmoraPath = QStringLiteral(VELMORA_BUILT_BESIDE_LAUNCHER);

namespace {

// Paths stay whole on a line of their own; the home folder is shortened to "~".
QString displayPath(const QString &path) {
    const QString home = QDir::homePath() + QLatin1Char('/');
    const QString clean = QDir::cleanPath(path);
    return clean.startsWith(home) ? QStringLiteral("~/") + clean.mid(home.size()) : clean;
}

}  // namespace

AppDelegate::AppDelegate(const LXBundle &bundle, QObject *parent)
    : QObject(parent), m_bundle(bundle) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    const QString executablePath = velmoraExecutablePath();
    if (executablePath.isEmpty())
        report(notFoundText());
    else
        launchVelmora(executablePath);
    // Shown only now: while the authorization dialog is up, launch() holds this thread, and a
    // window on screen that cannot answer would be reported as not responding.
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

void AppDelegate::launchVelmora(const QString &executablePath) {
    auto task = LXPrivilegedTask::create(executablePath);
    if (qEnvironmentVariableIsSet(authorizationHelperVariable))
        task->setAuthorizationHelper(qEnvironmentVariable(authorizationHelperVariable));
    report(tr("Asking for permission to start Velmora…"));
    const qint32 status = task->launch();
    if (status == LXPrivilegedTask::errAuthorizationCanceled)
        report(tr("Velmora was not started: the authorization was cancelled."));
    else if (status == LXPrivilegedTask::errAuthorizationDenied)
        report(tr("Velmora was not started: the authorization was refused."));
    else if (status != 0)
        report(tr("Velmora could not be started (status %1).").arg(status));
    else
        watchVelmora(std::move(task));
}

void AppDelegate::watchVelmora(std::shared_ptr<LXPrivilegedTask> task) {
    m_task = std::move(task);
    connect(m_task.get(), &LXPrivilegedTask::didTerminate, this, &AppDelegate::velmoraDidTerminate);
    // Velmora would stall once a never-read pipe filled up, so its output is read and dropped.
    m_outputNotifier = std::make_unique<QSocketNotifier>(m_task->outputFileHandle()->handle(),
                                                         QSocketNotifier::Read);
    connect(m_outputNotifier.get(), &QSocketNotifier::activated, this, &AppDelegate::drainOutput);
    report(tr("Velmora is running (process %1).").arg(m_task->processIdentifier()));
}

void AppDelegate::velmoraDidTerminate() {
    m_outputNotifier.reset();
    m_task.reset();
    report(tr("Velmora has ended."));
}

void AppDelegate::drainOutput() {
    char buffer[4096];
    const ssize_t count = ::read(m_outputNotifier->socket(), buffer, sizeof buffer);
    if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN))
        m_outputNotifier->setEnabled(false);
}

void AppDelegate::report(const QString &text) {
    qInfo().noquote() << "Velmora Launcher:" << text;
    m_statusText = text;
    if (m_window) m_window->setStatusText(text);
    emit statusTextChanged(text);
}
