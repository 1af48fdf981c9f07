#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTimer;

// Name under which the end of a privileged task is announced; didTerminate() carries it.
inline constexpr char LXPrivilegedTaskDidTerminateNotification[] =
    "LXPrivilegedTaskDidTerminateNotification";

// Starts one program as root through an authorization helper (pkexec) and follows it until it
// ends. Always owned by a std::shared_ptr: while the program runs, the status timer holds the
// task, so its creator may let go of it right after launch(). The process must not ignore
// SIGCHLD, or the kernel collects the program before the task can wait for it.
class LXPrivilegedTask : public QObject, public std::enable_shared_from_this<LXPrivilegedTask> {
    Q_OBJECT

public:
    // Statuses launch() returns when the helper reports a dismissed dialog (126) or a refusal
    // (127).
    static constexpr qint32 errAuthorizationDenied = -60005;
    static constexpr qint32 errAuthorizationCanceled = -60006;
    static constexpr int checkStatusIntervalMs = 100;
    static const QString defaultAuthorizationHelper;

    static std::shared_ptr<LXPrivilegedTask> create();
    static std::shared_ptr<LXPrivilegedTask> create(const QString &launchPath);
    static std::shared_ptr<LXPrivilegedTask> create(const QString &launchPath,
                                                    const QStringList &arguments);

    // Launch, then block until the program has ended; the launch status is not passed on.
    static std::shared_ptr<LXPrivilegedTask> launchedPrivilegedTaskWithLaunchPath(
        const QString &path);
    static std::shared_ptr<LXPrivilegedTask> launchedPrivilegedTaskWithLaunchPath(
        const QString &path, const QStringList &arguments);

    QStringList arguments() const { return m_arguments; }
    QString currentDirectoryPath() const { return m_cwd; }
    QString launchPath() const { return m_launchPath; }
    // The program's standard output; null until a successful launch.
    QFile *outputFileHandle() const { return m_outputFileHandle.get(); }
    bool isRunning() const { return m_isRunning; }
    qint32 processIdentifier() const { return m_pid; }
    // Raw wait status word: exit code n reads n * 256.
    qint32 terminationStatus() const { return m_terminationStatus; }
    // Program that asks for the authorization and then replaces itself with the launched program.
    QString authorizationHelper() const { return m_authorizationHelper; }

    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    void setCurrentDirectoryPath(const QString &path) { m_cwd = path; }
    void setLaunchPath(const QString &path) { m_launchPath = path; }
    void setAuthorizationHelper(const QString &path) { m_authorizationHelper = path; }

    // 0 once the program runs as root; otherwise a non-zero status and the task is unchanged.
    qint32 launch();
    // Deliberately does nothing: a root program is not stopped from here.
    void terminate() {}
    void waitUntilExit();
    QString description() const;

signals:
    void didTerminate(LXPrivilegedTask *task);

private:
    LXPrivilegedTask();

    std::vector<QByteArray> helperCommand() const;
    qint32 awaitAuthorization(qint32 helperPid) const;
    void scheduleStatusTimer();
    void invalidateStatusTimer();
    void _checkTaskStatus();

    QStringList m_arguments;
    QString m_cwd;
    QString m_launchPath;
    bool m_isRunning = false;
    qint32 m_pid = 0;
    qint32 m_terminationStatus = 0;
    std::unique_ptr<QFile> m_outputFileHandle;
    QTimer *m_checkStatusTimer = nullptr;
    QString m_authorizationHelper;
};
