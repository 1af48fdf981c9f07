#include "web/MZWebService.h"

#include "web/MZWebServiceDelegate.h"
#include "web/MZWebServiceError.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <utility>

namespace {

std::optional<URLRequest> failSetUp(std::optional<Error> *error, MZWebServiceError::Code code) {
    if (error) *error = MZWebServiceError::error(code);
    return std::nullopt;
}

// Lets go of a service once control is back in the main event loop, so that a service
// which stops itself from inside one of its own methods outlives that method.
void releaseLater(std::shared_ptr<MZWebService> service) {
    if (!service) return;
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [service = std::move(service)] {}, Qt::QueuedConnection);
}

}  // namespace

MZWebService::~MZWebService() { MZWebService::stop(); }

std::optional<URLRequest> MZWebService::createRequest(std::optional<Error> *error) const {
    if (m_url.isEmpty()) return failSetUp(error, MZWebServiceError::URLNil);
    auto request = URLRequest::create(m_url, m_timeoutInterval);
    if (!request) return failSetUp(error, MZWebServiceError::RequestCreate);
    return request;
}

std::optional<URLRequest> MZWebService::setUpRequest(std::optional<Error> *error) {
    auto request = createRequest(error);
    if (!request) return std::nullopt;
    request->setHTTPMethod(QByteArrayLiteral("GET"));
    if (error) error->reset();
    return request;
}

bool MZWebService::startAsynchronous() {
    stop();
    std::optional<Error> error;
    const auto request = setUpRequest(&error);
    if (!request) {
        didFailWithError(
            error.value_or(MZWebServiceError::error(MZWebServiceError::RequestCreate)));
        return false;
    }
    m_data = QByteArray();
    m_running = weak_from_this().lock();
    m_con.reset(new URLConnection(*request, this, m_maximumBodySize));
    // Events arrive on the main thread, whichever thread starts.
    if (const QCoreApplication *app = QCoreApplication::instance())
        m_con->moveToThread(app->thread());
    QMetaObject::invokeMethod(m_con.get(), &URLConnection::start, Qt::AutoConnection);
    return true;
}

std::optional<QByteArray> MZWebService::startSynchronous() {
    stop();
    const auto request = setUpRequest(nullptr);
    if (!request) return std::nullopt;
    return URLConnection::sendSynchronousRequest(*request, nullptr, nullptr, m_maximumBodySize);
}

void MZWebService::startWithHandler(const MZWebServiceBlock &handler) {
    stop();
    setWebServiceBlock(handler);
    QThreadPool::globalInstance()->start(
        [service = shared_from_this()]() mutable { runHandlerJob(std::move(service)); });
}

void MZWebService::runHandlerJob(std::shared_ptr<MZWebService> service) {
    std::optional<URLResponse> response;
    std::optional<Error> error;
    std::optional<QByteArray> data;
    if (const auto request = service->setUpRequest(&error)) {
        data = URLConnection::sendSynchronousRequest(*request, &response, &error,
                                                     service->m_maximumBodySize);
    }
    // The service goes along, so that it ends on the main thread too. Without an
    // application there is nobody left to report to.
    if (QCoreApplication *app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [service = std::move(service), response, error, data] {
                service->callBlock(response, error, data);
            },
            Qt::QueuedConnection);
    }
}

void MZWebService::stop() {
    if (m_con) m_con->cancel();
    m_con.reset();
    m_data.reset();
    releaseLater(std::move(m_running));
}

void MZWebService::callBlock(const std::optional<URLResponse> &response,
                             const std::optional<Error> &error,
                             const std::optional<QByteArray> &data) const {
    if (const MZWebServiceBlock block = m_webServiceBlock) block(response, error, data);
}

void MZWebService::didReceiveResponse(const URLResponse &response) {
    callBlock(response, std::nullopt, std::nullopt);
    if (m_delegate) m_delegate->webServiceBegin(this);
}

void MZWebService::didReceiveData(const QByteArray &data) {
    if (m_con && m_data) m_data->append(data);
}

void MZWebService::didFailWithError(const Error &error) {
    callBlock(std::nullopt, error, std::nullopt);
    if (m_delegate) m_delegate->webServiceFail(this, error);
    stop();
}

void MZWebService::didFinishLoading() {
    const QByteArray data = m_data.value_or(QByteArray());
    callBlock(std::nullopt, std::nullopt, data);
    if (m_delegate) m_delegate->webServiceFinish(this, data);
    stop();
}

void MZWebService::connectionDidReceiveResponse(URLConnection *, const URLResponse &response) {
    didReceiveResponse(response);
}

void MZWebService::connectionDidReceiveData(URLConnection *, const QByteArray &data) {
    didReceiveData(data);
}

void MZWebService::connectionDidFail(URLConnection *, const Error &error) {
    didFailWithError(error);
}

void MZWebService::connectionDidFinishLoading(URLConnection *) { didFinishLoading(); }
