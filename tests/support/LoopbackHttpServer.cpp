#include "tests/support/LoopbackHttpServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

// One request from the start of buffer, once all of it has arrived.
std::optional<LoopbackHttpServer::Request> parseRequest(const QByteArray &buffer) {
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) return std::nullopt;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    LoopbackHttpServer::Request request;
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.append(
                {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    const qsizetype length = request.header("Content-Length").toLongLong();
    if (buffer.size() < headerEnd + 4 + length) return std::nullopt;
    request.body = buffer.mid(headerEnd + 4, length);
    return request;
}

QByteArray header(const LoopbackHttpServer::Reply &reply) {
    QByteArray text = "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n";
    for (const auto &[name, value] : reply.headers) text += name + ": " + value + "\r\n";
    if (reply.announceLength)
        text += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    return text + "Connection: close\r\n\r\n";
}

}  // namespace

QByteArray LoopbackHttpServer::Request::header(const QByteArray &name) const {
    for (const auto &[field, value] : headers)
        if (field.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

LoopbackHttpServer::LoopbackHttpServer() : m_responder([](const Request &) { return Reply(); }) {
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

LoopbackHttpServer::~LoopbackHttpServer() {
    // The server, its sockets and their timers belong to the server's thread.
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

bool LoopbackHttpServer::start() {
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_server = new QTcpServer(m_context);
            if (m_server->listen(QHostAddress::LocalHost)) m_port = m_server->serverPort();
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] { accept(); });
        },
        Qt::BlockingQueuedConnection);
    return m_port != 0;
}

QUrl LoopbackHttpServer::url(const QString &path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

void LoopbackHttpServer::setResponder(Responder responder) {
    QMutexLocker lock(&m_mutex);
    m_responder = std::move(responder);
}

void LoopbackHttpServer::setReply(const Reply &reply) {
    setResponder([reply](const Request &) { return reply; });
}

QList<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

LoopbackHttpServer::Reply LoopbackHttpServer::replyFor(const Request &request) {
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
    return m_responder(request);
}

void LoopbackHttpServer::accept() {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const auto request = parseRequest(*buffer);
            if (!request) return;
            socket->disconnect(socket);  // one request per connection
            const Reply reply = replyFor(*request);
            QTimer::singleShot(reply.delay, socket,
                               [this, socket, reply] { answer(socket, reply); });
        });
    }
}

void LoopbackHttpServer::answer(QTcpSocket *socket, const Reply &reply) {
    switch (reply.ending) {
    case Reply::Ending::NeverAnswer:
        return;
    case Reply::Ending::DropBeforeAnswer:
        socket->disconnectFromHost();
        return;
    case Reply::Ending::DropMidBody:
        socket->write(header(reply) + reply.body.left(reply.dropAfterBytes < 0
                                                          ? reply.body.size() / 2
                                                          : reply.dropAfterBytes));
        socket->disconnectFromHost();
        return;
    case Reply::Ending::Complete:
        socket->write(header(reply));
        writeBody(socket, reply);
        return;
    }
}

void LoopbackHttpServer::writeBody(QTcpSocket *socket, const Reply &reply) {
    if (reply.trickleBytes <= 0) {
        socket->write(reply.body);
        socket->disconnectFromHost();
        return;
    }
    auto *timer = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, reply] {
        socket->write(reply.body.mid(*sent, reply.trickleBytes));
        *sent += reply.trickleBytes;
        if (*sent < reply.body.size()) return;
        timer->stop();
        socket->disconnectFromHost();
    });
    timer->start(reply.trickleInterval);
}
