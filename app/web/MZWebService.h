#pragma once

#include "foundation/Error.h"
#include "web/URLConnection.h"
#include "web/URLConnectionDelegate.h"
#include "web/URLRequest.h"
#include "web/URLResponse.h"

#include <QByteArray>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class MZWebServiceDelegate;

// The completion block: (response, error, data), each of them possibly none.
using MZWebServiceBlock =
    std::function<void(const std::optional<URLResponse> &response,
                       const std::optional<Error> &error, const std::optional<QByteArray> &data)>;

// A small HTTP GET, run in one of three ways: event-driven with every stage reported on the
// main thread (startAsynchronous), blocking (startSynchronous), or on a pooled worker thread
// with one report on the main thread (startWithHandler).
//
// Hold a service in a std::shared_ptr (std::make_shared): a started service keeps itself
// alive until it has reported, so its creator may let go right after the start. The block
// is stored as a copy; the delegate is not owned. A service is driven from one thread at a
// time, and its settings are not changed while a start is under way. Subclasses build their
// own request in setUpRequest and may replace the start methods, stop and the four hooks,
// passing on to these versions for the common behaviour.
class MZWebService : public std::enable_shared_from_this<MZWebService>,
                     private URLConnectionDelegate {
public:
    static constexpr std::chrono::milliseconds DefaultTimeoutInterval{15000};

    MZWebService() = default;
    ~MZWebService() override;
    MZWebService(const MZWebService &) = delete;
    MZWebService &operator=(const MZWebService &) = delete;

    const QUrl &url() const { return m_url; }
    void setUrl(const QUrl &url) { m_url = url; }
    MZWebServiceDelegate *delegate() const { return m_delegate; }
    void setDelegate(MZWebServiceDelegate *delegate) { m_delegate = delegate; }
    const MZWebServiceBlock &webServiceBlock() const { return m_webServiceBlock; }
    void setWebServiceBlock(const MZWebServiceBlock &block) { m_webServiceBlock = block; }
    // How long a transfer may stall before it fails as timed out.
    std::chrono::milliseconds timeoutInterval() const { return m_timeoutInterval; }
    void setTimeoutInterval(std::chrono::milliseconds interval) { m_timeoutInterval = interval; }
    // A longer body fails the transfer with MZWebServiceError::ResponseTooLarge.
    qint64 maximumBodySize() const { return m_maximumBodySize; }
    void setMaximumBodySize(qint64 bytes) { m_maximumBodySize = bytes; }

    // The GET request for url; none (with error 100 or 101 in *error) when it cannot be
    // built. Runs on the starting thread, or on a worker thread for startWithHandler.
    virtual std::optional<URLRequest> setUpRequest(std::optional<Error> *error);
    // False, after the failure hook has run, when no request was built.
    virtual bool startAsynchronous();
    // The body, none on any failure. Reports to neither the block nor the delegate.
    virtual std::optional<QByteArray> startSynchronous();
    // Stores the handler as the block and returns at once. The block set when the result
    // reaches the main thread is called with it, once; a block cleared meanwhile hears
    // nothing. stop does not reach this mode.
    virtual void startWithHandler(const MZWebServiceBlock &handler);
    // Cancels the event-driven transfer without telling anybody.
    virtual void stop();

    // Event-driven hooks, on the main thread.
    virtual void didReceiveResponse(const URLResponse &response);
    virtual void didReceiveData(const QByteArray &data);
    virtual void didFailWithError(const Error &error);
    virtual void didFinishLoading();

protected:
    // The request for url with the service's time-out and no method set, or none with error
    // 100 or 101; the common first steps of every setUpRequest.
    std::optional<URLRequest> createRequest(std::optional<Error> *error) const;
    // Calls a copy of the block, so that the block may replace itself.
    void callBlock(const std::optional<URLResponse> &response, const std::optional<Error> &error,
                   const std::optional<QByteArray> &data) const;

private:
    static void runHandlerJob(std::shared_ptr<MZWebService> service);

    void connectionDidReceiveResponse(URLConnection *, const URLResponse &response) override;
    void connectionDidReceiveData(URLConnection *, const QByteArray &data) override;
    void connectionDidFail(URLConnection *, const Error &error) override;
    void connectionDidFinishLoading(URLConnection *) override;

    MZWebServiceDelegate *m_delegate = nullptr;
    QUrl m_url;
    std::unique_ptr<URLConnection, URLConnection::DeleteLater> m_con;
    std::optional<QByteArray> m_data;
    MZWebServiceBlock m_webServiceBlock;
    std::chrono::milliseconds m_timeoutInterval = DefaultTimeoutInterval;
    qint64 m_maximumBodySize = URLConnection::Unlimited;
    // Held while an event-driven transfer runs.
    std::shared_ptr<MZWebService> m_running;
};
