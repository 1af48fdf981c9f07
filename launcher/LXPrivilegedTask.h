#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QSocketNotifier;
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
// thread must go on. launchSettled() says how it went. That the program runs is told without
// looking at any process: the helper inherits the write end of a pipe, which it marks
// close-on-exec before it becomes the program (pkexec does so for every descriptor above 2),
// so the pipe's end while the helper still lives means the program runs, and its end with the
// helper gone means it never ran; then the helper's exit status and what it wrote on its
// error output say why. A program that ends within a tenth of a second of its start cannot be
// told from a helper that failed, and is reported as not started.
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
    bool isLaunching() const { return m_helperPid != 0; }
    qint32 processIdentifier() const { return m_pid; }
    // Raw wait status word: exit code n reads n * 256.
    qint32 terminationStatus() const { return m_terminationStatus; }
    // After a failed launch: the helper's raw wait status word (0 when it never ran) and what
    // it said on its error output, or why the launch failed before it.
    qint32 helperTerminationStatus() const { return m_helperTerminationStatus; }
    QString launchFailureMessage() const { return m_launchFailureMessage; }
    // Program that asks for the authorization and then replaces itself with the launched program.
    QString authorizationHelper() const { return m_authorizationHelper; }

    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    void setCurrentDirectoryPath(const QString &path) { m_cwd = path; }
    void setLaunchPath(const QString &path) { m_launchPath = path; }
    void setAuthorizationHelper(const QString &path) { m_authorizationHelper = path; }

    // 0 once the helper is asking for the authorization: launchSettled() follows. Otherwise the
    // launch failed at once (the program is missing, the helper cannot be started, EBUSY while
    // a launch or a program is being followed), no signal follows and the task is unchanged.
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

    std::vector<QByteArray> helperCommand() const;
    qint32 failAtOnce(qint32 status, const QString &message);
    void watchHelper(int execFd, int errorFd, int outputFd);
    void onExecPipe();
    bool readExecPipe();
    void onErrorOutput();
    bool readErrorOutput();
    void settleLaunch();
    void settleAsRunning();
    void settleAsFailed();
    void scheduleStatusTimer();
    void invalidateStatusTimer();
    void stopErrorOutput();
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

    qint32 m_helperPid = 0;
    int m_execFd = -1;
    int m_errorFd = -1;
    int m_outputFd = -1;
    QSocketNotifier *m_execNotifier = nullptr;
    QSocketNotifier *m_errorNotifier = nullptr;
    QByteArray m_helperSaid;
    qint32 m_helperTerminationStatus = 0;
    QString m_launchFailureMessage;
};
