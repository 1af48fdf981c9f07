#include "shell/SingleInstance.h"

#include "platform/linux/RuntimeDirectory.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

#include <utility>

namespace {
const QByteArray ReopenMessage = QByteArrayLiteral("reopen\n");
}

SingleInstance::SingleInstance(QString socketPath, QObject *parent)
    : QObject(parent), m_path(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (!m_server) return;
    m_server->close();
    RuntimeDirectory::release(QFileInfo(m_path).path());
}

Result<QString> SingleInstance::defaultPath() {
    auto directory = RuntimeDirectory::forCurrentUser();
    if (!directory) return directory.failure();
    // Per display: two X sessions of one person each get their own Velmora.
    QString display = qEnvironmentVariable("DISPLAY");
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("%1/velmora-%2").arg(*directory, display);
}

bool SingleInstance::handOverToRunning(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(timeoutMs)) return false;
    if (!isOurs(int(socket.socketDescriptor()))) {
        qInfo("%s is held by another user; not handing over to it", qPrintable(m_path));
        return false;
    }
    socket.write(ReopenMessage);
    return socket.waitForBytesWritten(timeoutMs);
}

Result<void> SingleInstance::listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Whatever holds the name now did not answer as ours (handOverToRunning failed): a
    // socket left by a crashed instance, or someone else's. The folder is ours.
    QLocalServer::removeServer(m_path);
    if (!m_server->listen(m_path)) return Failure{m_server->errorString()};
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return {};
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!isOurs(int(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().isEmpty()) emit reopenRequested();
        });
    }
}

bool SingleInstance::isOurs(int socketFd) {
    return RuntimeDirectory::peerUid(socketFd) == geteuid();
}
