#pragma once

#include <QObject>
#include <QString>

#include "platform/Result.h"

class QLocalServer;

// Keeps one Velmora per user and display. The first start listens on a local socket in a
// folder only its user can enter; a later start of the same user finds it, asks it to come
// forward, and ends. Both ends check who is at the other end: a socket of another user is
// never answered nor handed over to.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Velmora's exit status when it only handed over to the one already running.
    static constexpr int HandedOverExitStatus = 3;

    explicit SingleInstance(QString socketPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when an instance of our own user answered and was asked to come forward.
    bool handOverToRunning(int timeoutMs = 1000);
    // Start answering later starts; fails when the socket cannot be made.
    Result<void> listen();

    // The socket for this user and display, in the user's private runtime folder.
    static Result<QString> defaultPath();

signals:
    void reopenRequested();

private:
    void acceptConnections();
    static bool isOurs(int socketFd);

    QString m_path;
    QLocalServer *m_server = nullptr;
};
