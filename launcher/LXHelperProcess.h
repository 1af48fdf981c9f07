#pragma once

#include <QByteArray>
#include <QObject>

#include <sys/types.h>
#include <vector>

class QSocketNotifier;

// The authorization helper as a process of ours, in plain POSIX terms. Its output goes to a
// pipe whose reading end is handed on (takeOutput()); its error output is read as it comes,
// passed on to ours and announced (errorOutput()). It also inherits the writing end of the
// exec pipe, which it marks close-on-exec before it becomes the program (pkexec does so for
// every descriptor above 2): the pipe's end while the process lives means the program runs.
// What all this means is the task's business; nothing here stops or signals the process.
class LXHelperProcess : public QObject {
    Q_OBJECT

public:
    LXHelperProcess() = default;
    ~LXHelperProcess() override;
    LXHelperProcess(const LXHelperProcess &) = delete;
    LXHelperProcess &operator=(const LXHelperProcess &) = delete;

    // Starts the command in `directory` (none: ours, never changed here). 0, or the errno of
    // making the pipes or starting it; call once.
    int start(const std::vector<QByteArray> &command, const QByteArray &directory);
    pid_t pid() const { return m_pid; }
    bool isExecPipeOpen() const { return m_execFd >= 0; }
    // Whether it has ended, leaving it to be collected.
    bool hasEnded() const;
    // Whether it ends within `ms`, polled.
    bool endsWithin(int ms) const;
    // Collects it once it has ended (its raw wait status word goes to `statusWord`): false while
    // it runs. A wait that fails (no such child) counts as its end and writes nothing.
    bool collect(bool block, qint32 *statusWord);
    // The reading end of the output pipe, for the caller to own; -1 after the first call.
    int takeOutput();
    // Reads whatever the error output holds now; at its end, stops watching it.
    void readErrorOutput();
    // Blocks until the exec pipe has ended, keeping the error output flowing.
    void waitForExecPipe();
    // Blocks until it has ended and collects it, keeping the error output flowing.
    void waitForEnd(qint32 *statusWord);

signals:
    void execPipeEnded();
    void errorOutput(const QByteArray &chunk);

private:
    void onExecPipe();
    bool readExecPipe();
    void closeErrorOutput();
    void waitReadable(int timeoutMs) const;

    pid_t m_pid = 0;
    int m_outputFd = -1;
    int m_errorFd = -1;
    int m_execFd = -1;
    QSocketNotifier *m_execNotifier = nullptr;
    QSocketNotifier *m_errorNotifier = nullptr;
};
