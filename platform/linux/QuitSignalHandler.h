#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into QCoreApplication::quit(), so that the
// application's ordinary quit path (releasing the keyboards) runs. The handler only
// writes to a pipe; the quit happens on the main thread's event loop. One instance at
// a time; destroying it restores the default actions.
class QuitSignalHandler : public QObject {
    Q_OBJECT
public:
    explicit QuitSignalHandler(QObject *parent = nullptr);
    ~QuitSignalHandler() override;

private:
    static void onSignal(int signal);
    void drainAndQuit();

    static int s_writeFd;
    int m_readFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
