#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

class QTcpServer;

// An HTTP/1.1 server on 127.0.0.1 for one test, on a thread of its own so that it answers
// while the test's thread blocks. Each request gets what the responder returns for it, and
// each connection closes after its answer. Stopped and cleaned up by the destructor.
class LoopbackHttpServer {
public:
    using HeaderFields = QList<std::pair<QByteArray, QByteArray>>;

    struct Request {
        QByteArray method;
        QByteArray target;
        HeaderFields headers;
        QByteArray body;
        // The first field of that name, any letter case, or a null array.
        QByteArray header(const QByteArray &name) const;
    };

    struct Reply {
        enum class Ending {
            Complete,          // the whole answer, then the connection closes
            NeverAnswer,       // the connection stays open and silent
            DropBeforeAnswer,  // closed without a word
            DropMidBody,       // the header and half the body, then closed
        };
        int status = 200;
        HeaderFields headers;
        QByteArray body;
        std::chrono::milliseconds delay{0};  // before the answer starts
        qsizetype trickleBytes = 0;          // above 0: the body goes out in pieces this size
        std::chrono::milliseconds trickleInterval{0};
        bool announceLength = true;  // a Content-Length field
        Ending ending = Ending::Complete;
        qsizetype dropAfterBytes = -1;  // DropMidBody: body bytes sent before closing; -1: half
    };
    using Responder = std::function<Reply(const Request &)>;

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer &) = delete;
    LoopbackHttpServer &operator=(const LoopbackHttpServer &) = delete;

    // False when no port could be opened.
    bool start();
    QUrl url(const QString &path = QStringLiteral("/")) const;
    // Called on the server's thread; replaces the answer for every later request.
    void setResponder(Responder responder);
    void setReply(const Reply &reply);
    // Every request received so far, in order.
    QList<Request> requests() const;

private:
    void accept();
    void answer(class QTcpSocket *socket, const Reply &reply);
    void writeBody(QTcpSocket *socket, const Reply &reply);
    Reply replyFor(const Request &request);

    QThread m_thread;
    QObject *m_context = nullptr;
    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    Responder m_responder;
    QList<Request> m_requests;
};
