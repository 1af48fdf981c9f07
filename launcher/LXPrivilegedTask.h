#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class LXHelperProcess;
class QTimer;

// Name under which the end of a privileged task is announced; didTerminate() carries it.
inline constexpr char LXPrivilegedTaskDidTerminateNotification[] =
    "LXPrivilegedTaskDidTerminateNotification";

// Starts one program as root through an authorization helper (pkexec) and follows it until it
// ends. Always owned by a std::shared_ptr: while the authorization is under way and while the
// program runs, the task holds itself, so its creator may let go of it right after launch().
// The process must not ignore SIGCHLD, or the kernel collects the program before the task can
// wait for it.
//
// launch() only starts the helper: the authorization dialog can take minutes, and the caller's
// thread must go on. launchSettled() says how it went. The end of the helper's exec pipe
// (LXHelperProcess) while the helper still lives means the program runs; with the helper gone
// it never ran, and the helper's exit status and what it wrote on its error output say why
// (LXPkexecAnswer). A program that ends within a tenth of a second of its start cannot be told
// from a helper that failed, and is reported as not started. While a helper or its program is
// followed, it holds the task.
class LXPrivilegedTask : public QObject, public std::enable_shared_from_this<LXPrivilegedTask> {
    Q_OBJECT

public:
    // Launch statuses. Positive values are the errno of starting the helper itself; negative
    // ones say what became of the authorization. Signals never appear here: the raw status
    // word of a helper that ended is kept apart (helperTerminationStatus()).
    static constexpr qint32 errAuthorizationDenied = -60005;
    static constexpr qint32 errAuthorizationCanceled = -60006;
    // No authentication agent could ask the person.
    static constexpr qint32 errAuthorizationInteractionNotAllowed = -60007;
    // The authorization service (polkit) could not be reached.
    static constexpr qint32 errAuthorizationInternal = -60008;
    // The program is missing or cannot be executed.
    static constexpr qint32 errAuthorizationToolExecuteFailure = -60031;
    // The helper ended without running the program, for a reason it did not name.
    static constexpr qint32 errAuthorizationToolEnvironmentError = -60032;
    static constexpr int checkStatusIntervalMs = 100;
    static const QString defaultAuthorizationHelper;

    ~LXPrivilegedTask() override;

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
    // The program's standard output; null until the program runs.
    QFile *outputFileHandle() const { return m_outputFileHandle.get(); }
    bool isRunning() const { return m_isRunning; }
    // True from launch() returning 0 until launchSettled().
    bool isLaunching() const { return m_isLaunching; }
    qint32 processIdentifier() const { return m_pid; }
    // Raw wait status word: exit code n reads n * 256.
    qint32 terminationStatus() const { return m_terminationStatus; }
    // After a failed launch: the helper's raw wait status word (0 when it never ran) and the
    // first line it said on its error output, or why the launch failed before it.
    qint32 helperTerminationStatus() const { return m_helperTerminationStatus; }
    QString launchFailureMessage() const { return m_launchFailureMessage; }
    // The last of what was written on the error output (at most 4 KiB): by the helper while the
    // launch is unsettled, by the program since it runs. The whole of it is passed on to ours.
    QByteArray lastErrorOutput() const { return m_lastErrorOutput; }
    // Program that asks for the authorization and then replaces itself with the launched program.
    QString authorizationHelper() const { return m_authorizationHelper; }

    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    void setCurrentDirectoryPath(const QString &path) { m_cwd = path; }
    void setLaunchPath(const QString &path) { m_launchPath = path; }
    void setAuthorizationHelper(const QString &path) { m_authorizationHelper = path; }

    // 0 once the helper is asking for the authorization: launchSettled() follows. Otherwise the
    // launch failed at once (the program is missing, the helper cannot be started, EBUSY while
    // a launch or a program is being followed), no signal follows and the task is unchanged.
    // The program starts in the task's directory where the helper can keep it (pkexec 121 and
    // later); older ones start it in root's home.
    qint32 launch();
    // Deliberately does nothing: a root program is not stopped from here.
    void terminate() {}
    // Blocks until the launch has settled and, when the program ran, until it has ended.
    void waitUntilExit();
    QString description() const;

signals:
    // 0: the program runs (isRunning()); otherwise a launch status, and the task is as created.
    void launchSettled(qint32 status);
    void didTerminate(LXPrivilegedTask *task);

private:
    LXPrivilegedTask();

    std::vector<QByteArray> helperCommand(bool keepCwd) const;
    bool helperKeepsCwd() const;
    qint32 failAtOnce(qint32 status, const QString &message);
    void onExecPipeEnded();
    void keepErrorOutput(const QByteArray &chunk);
    void settleLaunch();
    void settleAsRunning();
    void settleAsFailed();
    void letGoOfProcess();
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

    // From launch() until the end of the helper or of its program has been seen.
    LXHelperProcess *m_process = nullptr;
    bool m_isLaunching = false;
    QByteArray m_lastErrorOutput;
    qint32 m_helperTerminationStatus = 0;
    QString m_launchFailureMessage;
};
