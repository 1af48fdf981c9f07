#pragma once

#include "foundation/Error.h"
#include "web/URLRequest.h"
#include "web/URLResponse.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <optional>

class QNetworkAccessManager;
class URLConnectionDelegate;

// One HTTP transfer on Qt Network, reported to a delegate on the thread the connection
// lives in (that thread must run an event loop). The creator owns the connection and the
// delegate must outlive it or cancel it first; while a callback runs, the connection may
// only be deleted with deleteLater (DeleteLater below does that).
//
// An answer with any HTTP status counts as received: its body is delivered and the client
// reads the status from the response. Redirections are followed as far as Qt allows, and
// only the answer at the end of the chain is reported. Failures are transport failures
// (domain ErrorDomain, the code a QNetworkReply::NetworkError) and a body over the size
// limit. Qt 6.4 now and then takes a chunked body cut off by a closed connection for a
// whole one; clients that know the size to expect check it.
class URLConnection : public QObject {
    Q_OBJECT
public:
    static const QString ErrorDomain;
    static constexpr qint64 Unlimited = -1;
    // The most body bytes Qt holds for the delegate at a time.
    static constexpr qint64 ReadBufferSize = 256 * 1024;

    struct DeleteLater {
        void operator()(URLConnection *connection) const { connection->deleteLater(); }
    };

    URLConnection(const URLRequest &request, URLConnectionDelegate *delegate,
                  qint64 maximumBodySize = Unlimited);
    ~URLConnection() override;

    // Sends the request. Call on the connection's thread.
    void start();
    // Forgets the transfer: the delegate hears nothing more. Safe from a callback, twice,
    // and from another thread (the transfer itself is then ended on the connection's).
    void cancel();
    // Ends the transfer now and reports it to the delegate as cancelled.
    void abort();

    // Sends on the calling thread and returns the body, none on failure. On the main
    // thread the transfer runs on a thread of its own, so that no event of the caller's
    // is handled meanwhile. Once the application has begun to close down, sends still
    // running are ended as cancelled and new ones fail at once.
    static std::optional<QByteArray> sendSynchronousRequest(const URLRequest &request,
                                                            std::optional<URLResponse> *response,
                                                            std::optional<Error> *error,
                                                            qint64 maximumBodySize = Unlimited);

private:
    void replyReadyRead();
    void replyFinished();
    void respondOnce();
    void fail(const Error &error);
    void endReply();
    std::optional<Error> transportError() const;
    bool answeredWithStatus(QNetworkReply::NetworkError code) const;

    URLRequest m_request;
    URLConnectionDelegate *m_delegate;
    qint64 m_maximumBodySize;
    qint64 m_received = 0;
    QNetworkAccessManager *m_manager = nullptr;
    QPointer<QNetworkReply> m_reply;
    bool m_responded = false;
    bool m_abortedOnPurpose = false;
    std::atomic<bool> m_done = false;
};
