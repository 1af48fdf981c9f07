#include "web/URLConnection.h"

#include "web/MZWebServiceError.h"
#include "web/URLConnectionDelegate.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QSet>
#include <QThread>
#include <QWaitCondition>

#include <memory>

const QString URLConnection::ErrorDomain = QStringLiteral("QNetworkReplyErrorDomain");

namespace {

Error cancelledError() {
    return Error(URLConnection::ErrorDomain, QNetworkReply::OperationCanceledError,
                 {{Error::LocalizedDescriptionKey, QStringLiteral("Operation canceled")}});
}

// The blocking sends under way. The application's destructor waits for every pooled job,
// and once it has begun, no event reaches a worker thread any more, so a send still
// running could never end: while the application can still deliver events, running sends
// are ended and waited for, and later ones are refused.
class RunningSends {
public:
    static RunningSends &instance() {
        static RunningSends sends;
        return sends;
    }
    // A send begins; false once the application closes down.
    bool begin(URLConnection *connection) {
        QMutexLocker lock(&m_mutex);
        if (m_closing) return false;
        m_connections.insert(connection);
        ++m_active;
        return true;
    }
    // Its transfer is over: nothing is sent to the connection any more.
    void forget(URLConnection *connection) {
        QMutexLocker lock(&m_mutex);
        m_connections.remove(connection);
    }
    // The connection and its network manager are gone too, which needs a working
    // application for the manager's own clean-up.
    void end() {
        QMutexLocker lock(&m_mutex);
        --m_active;
        m_ended.wakeAll();
    }
    // At the start of each application.
    static void open() {
        QMutexLocker lock(&instance().m_mutex);
        instance().m_closing = false;
        qAddPostRoutine(&RunningSends::close);
    }

private:
    static void close() {
        RunningSends &sends = instance();
        QMutexLocker lock(&sends.m_mutex);
        sends.m_closing = true;
        for (URLConnection *connection : std::as_const(sends.m_connections))
            QMetaObject::invokeMethod(connection, &URLConnection::abort, Qt::QueuedConnection);
        const QDeadlineTimer deadline(std::chrono::seconds(5));
        while (sends.m_active > 0 && sends.m_ended.wait(&sends.m_mutex, deadline)) {
        }
    }

    QMutex m_mutex;
    QWaitCondition m_ended;
    QSet<URLConnection *> m_connections;
    int m_active = 0;
    bool m_closing = false;
};

void openRunningSends() { RunningSends::open(); }
Q_COREAPP_STARTUP_FUNCTION(openRunningSends)

// Gathers what one blocking send receives and ends its event loop.
class SynchronousDelegate : public URLConnectionDelegate {
public:
    void connectionDidReceiveResponse(URLConnection *, const URLResponse &response) override {
        m_response = response;
    }
    void connectionDidReceiveData(URLConnection *, const QByteArray &data) override {
        m_body.append(data);
    }
    void connectionDidFail(URLConnection *, const Error &error) override {
        m_error = error;
        end();
    }
    void connectionDidFinishLoading(URLConnection *) override {
        m_data = m_body;
        end();
    }

    void send(const URLRequest &request, qint64 maximumBodySize) {
        RunningSends &sends = RunningSends::instance();
        {
            URLConnection connection(request, this, maximumBodySize);
            if (!sends.begin(&connection)) {
                m_error = cancelledError();
                return;
            }
            connection.start();
            if (!m_ended) m_loop.exec();
            sends.forget(&connection);
        }
        sends.end();
    }

    std::optional<URLResponse> m_response;
    std::optional<Error> m_error;
    std::optional<QByteArray> m_data;

private:
    void end() {
        m_ended = true;
        m_loop.quit();
    }

    QEventLoop m_loop;
    QByteArray m_body;
    bool m_ended = false;
};

}  // namespace

URLConnection::URLConnection(const URLRequest &request, URLConnectionDelegate *delegate,
                             qint64 maximumBodySize)
    : m_request(request), m_delegate(delegate), m_maximumBodySize(maximumBodySize) {}

URLConnection::~URLConnection() {
    m_done = true;
    endReply();
}

void URLConnection::start() {
    if (m_done || m_manager) return;
    m_manager = new QNetworkAccessManager(this);
    const QNetworkRequest request = m_request.networkRequest();
    const QByteArray &method = m_request.httpMethod();
    m_reply = method == "GET" ? m_manager->get(request)
                              : m_manager->sendCustomRequest(request, method, m_request.httpBody());
    if (!m_reply) return fail(cancelledError());
    connect(m_reply, &QNetworkReply::readyRead, this, &URLConnection::replyReadyRead);
    // Qt otherwise reads the socket as fast as it can and holds whatever the delegate has not
    // taken yet: a large download would then sit in memory whole.
    m_reply->setReadBufferSize(ReadBufferSize);
    connect(m_reply, &QNetworkReply::finished, this, &URLConnection::replyFinished);
}

void URLConnection::cancel() {
    if (m_done.exchange(true)) return;
    QMetaObject::invokeMethod(this, &URLConnection::endReply, Qt::AutoConnection);
}

void URLConnection::abort() {
    if (m_done || !m_reply) return;
    m_abortedOnPurpose = true;
    m_reply->abort();  // finished follows at once and reports the cancellation
}

void URLConnection::endReply() {
    if (!m_reply) return;
    m_reply->disconnect(this);
    m_reply->abort();
}

void URLConnection::replyReadyRead() {
    // Qt signals a redirection's header before it knows it will follow it, but passes on no
    // redirection's body: the answer whose body comes, or that finishes, is the last one.
    respondOnce();
    if (m_done) return;
    const QByteArray chunk = m_reply->readAll();
    m_received += chunk.size();
    if (m_maximumBodySize != Unlimited && m_received > m_maximumBodySize)
        return fail(MZWebServiceError::error(MZWebServiceError::ResponseTooLarge));
    if (!chunk.isEmpty()) m_delegate->connectionDidReceiveData(this, chunk);
}

void URLConnection::replyFinished() {
    if (m_done) return;
    if (const auto error = transportError()) return fail(*error);
    replyReadyRead();  // what is still buffered, and the response of an empty answer
    if (m_done) return;
    m_done = true;
    m_delegate->connectionDidFinishLoading(this);
}

void URLConnection::respondOnce() {
    if (m_responded || m_done) return;
    m_responded = true;
    m_delegate->connectionDidReceiveResponse(this, URLResponse::fromReply(*m_reply));
}

void URLConnection::fail(const Error &error) {
    m_done = true;
    endReply();
    m_delegate->connectionDidFail(this, error);
}

std::optional<Error> URLConnection::transportError() const {
    const QNetworkReply::NetworkError code = m_reply->error();
    if (code == QNetworkReply::NoError || answeredWithStatus(code)) return std::nullopt;
    if (code == QNetworkReply::OperationCanceledError && !m_abortedOnPurpose) {
        // Qt ends a transfer that stalls past its time-out as cancelled.
        return Error(ErrorDomain, QNetworkReply::TimeoutError,
                     {{Error::LocalizedDescriptionKey, QStringLiteral("The request timed out.")}});
    }
    return Error(ErrorDomain, code, {{Error::LocalizedDescriptionKey, m_reply->errorString()}});
}

bool URLConnection::answeredWithStatus(QNetworkReply::NetworkError code) const {
    if (!m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) return false;
    // The errors Qt makes of 4xx and 5xx statuses: the answer itself arrived.
    switch (code) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

std::optional<QByteArray> URLConnection::sendSynchronousRequest(
    const URLRequest &request, std::optional<URLResponse> *response, std::optional<Error> *error,
    qint64 maximumBodySize) {
    std::optional<URLResponse> receivedResponse;
    std::optional<Error> receivedError;
    std::optional<QByteArray> data;
    // The delegate's event loop belongs to the thread that sends.
    const auto send = [&] {
        SynchronousDelegate delegate;
        delegate.send(request, maximumBodySize);
        receivedResponse = std::move(delegate.m_response);
        receivedError = std::move(delegate.m_error);
        data = std::move(delegate.m_data);
    };
    const QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        const std::unique_ptr<QThread> thread(QThread::create(send));
        thread->start();
        thread->wait();
    } else {
        send();
    }
    if (response) *response = std::move(receivedResponse);
    if (error) *error = std::move(receivedError);
    return data;
}
