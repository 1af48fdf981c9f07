#include "web/URLRequest.h"

#include <QNetworkRequest>

URLRequest::URLRequest(const QUrl &url, std::chrono::milliseconds timeoutInterval)
    : m_url(url), m_timeoutInterval(timeoutInterval) {}

std::optional<URLRequest> URLRequest::create(const QUrl &url,
                                             std::chrono::milliseconds timeoutInterval) {
    const QString scheme = url.scheme();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (!url.isValid() || !web || url.host().isEmpty()) return std::nullopt;
    return URLRequest(url, timeoutInterval);
}

void URLRequest::setValue(const QByteArray &value, const QByteArray &field) {
    m_headerFields.removeIf(
        [&field](const auto &pair) { return pair.first.compare(field, Qt::CaseInsensitive) == 0; });
    m_headerFields.append({field, value});
}

QNetworkRequest URLRequest::networkRequest() const {
    QNetworkRequest request(m_url);
    for (const auto &[field, value] : m_headerFields) request.setRawHeader(field, value);
    if (m_timeoutInterval.count() > 0) request.setTransferTimeout(int(m_timeoutInterval.count()));
    return request;
}
