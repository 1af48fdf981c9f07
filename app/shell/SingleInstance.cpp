#include "shell/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

#include <utility>

namespace {
const QByteArray ReopenMessage = QByteArrayLiteral("reopen\n");
}

SingleInstance::SingleInstance(QString key, QObject *parent)
    : QObject(parent), m_key(std::move(key)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultKey() {
    // Per user and per display: two people, or two X sessions, each get their own Velmora.
    QString display = qEnvironmentVariable("DISPLAY");
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("velmora-%1-%2").arg(geteuid()).arg(display);
}

bool SingleInstance::handOverToRunning(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(ReopenMessage);
    return socket.waitForBytesWritten(timeoutMs);
}

Result<void> SingleInstance::listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left behind by a crashed instance would refuse the name; nobody answered
    // on it (handOverToRunning failed), so it is stale.
    QLocalServer::removeServer(m_key);
    if (!m_server->listen(m_key)) return Failure{m_server->errorString()};
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return {};
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().isEmpty()) emit reopenRequested();
        });
    }
}
