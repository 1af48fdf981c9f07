#pragma once

#include "launcher/LXBundle.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class LauncherWindow;
class LXPrivilegedTask;
class QSocketNotifier;

// Starts the Velmora carried in the launcher's resources as root once the launcher is up, and
// keeps the launcher's event loop running throughout: the authorization is awaited and Velmora
// followed by signals and timers, never by a blocking wait. Each way a start can fail is told
// as what it is, with a button to try again. A launcher run from the build folder, with no
// Velmora in its resources, starts the Velmora built beside it; failing that, the window says
// where it looked and how to install.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Test hook: path of a program used in place of pkexec. The launcher runs as the user, so
    // this grants nothing the user could not do by running that program directly.
    static constexpr char authorizationHelperVariable[] = "VELMORA_LAUNCHER_AUTH_HELPER";
    // Velmora's exit status when it only brought an already running Velmora forward
    // (SingleInstance::HandedOverExitStatus; the launcher links nothing of Velmora's).
    static constexpr int velmoraHandedOverStatus = 3;
    // Where the build puts Velmora, relative to the launcher's folder.
    static const QString builtVelmoraPath;

    explicit AppDelegate(const LXBundle &bundle = LXBundle::mainBundle(),
                         QObject *parent = nullptr);
    ~AppDelegate() override;

    LauncherWindow *window() const { return m_window; }
    void setWindow(LauncherWindow *window);
    QString statusText() const { return m_statusText; }

    void applicationDidFinishLaunching();

signals:
    void statusTextChanged(const QString &text);

private:
    QString velmoraExecutablePath() const;
    QString builtVelmoraExecutablePath() const;
    QString notFoundText() const;
    void launchVelmora();
    void launchSettled(qint32 status);
    void watchVelmora();
    void velmoraDidTerminate();
    void drainOutput();
    void report(const QString &text, const QString &retryText = {});
    void reportFailure(const LXPrivilegedTask &task, qint32 status);
    void reportHandedOver();

    LXBundle m_bundle;
    QPointer<LauncherWindow> m_window;
    std::shared_ptr<LXPrivilegedTask> m_task;
    std::unique_ptr<QSocketNotifier> m_outputNotifier;
    QString m_statusText;
};
