#pragma once

#include <QObject>
#include <QString>

#include "platform/Result.h"

class QLocalServer;

// Keeps one Velmora per user and display. The first start listens on a local socket;
// a later start finds it, asks it to come forward, and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString key, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another instance answered and was asked to come forward.
    bool handOverToRunning(int timeoutMs = 1000);
    // Start answering later starts; fails when the socket cannot be made.
    Result<void> listen();

    static QString defaultKey();

signals:
    void reopenRequested();

private:
    void acceptConnections();

    QString m_key;
    QLocalServer *m_server = nullptr;
};
