#include "tests/support/NginxServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace {

// A port nobody listens on right now; nginx may still lose it to a neighbour, so the
// caller retries.
quint16 freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

}  // namespace

NginxServer::~NginxServer() { stop(); }

QString NginxServer::executable() {
    const QString unpacked = QStringLiteral(VELMORA_NGINX);
    return QFileInfo(unpacked).isExecutable() ? unpacked : QString();
}

bool NginxServer::start(const QString &documentRoot) {
    if (executable().isEmpty() || !m_prefix.isValid()) return false;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const quint16 port = freePort();
        if (port != 0 && startOn(port, documentRoot)) return true;
    }
    return false;
}

bool NginxServer::writeConfiguration(quint16 port, const QString &documentRoot) const {
    const QString prefix = m_prefix.path();
    QString text;
    // As root, nginx would hand the requests to "nobody", who cannot read a private folder.
    if (::geteuid() == 0) text += QStringLiteral("user root;\n");
    text += QStringLiteral(
                "daemon off;\nworker_processes 1;\npid %1/nginx.pid;\nerror_log %1/error.log;\n"
                "events { worker_connections 64; }\n"
                "http {\n  access_log off;\n  default_type application/octet-stream;\n"
                "  sendfile on;\n  client_body_temp_path %1/body;\n  proxy_temp_path %1/proxy;\n"
                "  fastcgi_temp_path %1/fastcgi;\n  uwsgi_temp_path %1/uwsgi;\n"
                "  scgi_temp_path %1/scgi;\n"
                "  server {\n    listen 127.0.0.1:%2;\n    root %3;\n  }\n}\n")
                .arg(prefix)
                .arg(port)
                .arg(documentRoot);
    QFile file(QDir(prefix).filePath(QStringLiteral("nginx.conf")));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) == text.toUtf8().size();
}

bool NginxServer::startOn(quint16 port, const QString &documentRoot) {
    if (!writeConfiguration(port, documentRoot)) return false;
    const QString prefix = m_prefix.path();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(executable(),
                    {QStringLiteral("-p"), prefix, QStringLiteral("-e"),
                     QDir(prefix).filePath(QStringLiteral("error.log")), QStringLiteral("-c"),
                     QDir(prefix).filePath(QStringLiteral("nginx.conf"))});
    if (!m_process.waitForStarted(5000)) return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 && m_process.state() == QProcess::Running) {
        if (accepts(port)) {
            m_port = port;
            return true;
        }
        m_process.waitForFinished(50);
    }
    stop();
    return false;
}

void NginxServer::stop() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) m_process.kill();
    m_process.waitForFinished(5000);
}

QUrl NginxServer::url(const QString &path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}
