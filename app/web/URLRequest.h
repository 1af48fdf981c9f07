#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <chrono>
#include <optional>
#include <utility>

class QNetworkRequest;

// An HTTP request as the transport sends it: address, method, header fields, body and
// an inactivity time-out. A plain value; copies are independent.
class URLRequest {
public:
    using HeaderFields = QList<std::pair<QByteArray, QByteArray>>;

    // None unless url is an absolute http or https address with a host. A time-out of
    // zero leaves the transport's own default.
    static std::optional<URLRequest> create(const QUrl &url,
                                            std::chrono::milliseconds timeoutInterval = {});

    const QUrl &url() const { return m_url; }
    std::chrono::milliseconds timeoutInterval() const { return m_timeoutInterval; }
    const QByteArray &httpMethod() const { return m_httpMethod; }
    void setHTTPMethod(const QByteArray &method) { m_httpMethod = method; }
    const HeaderFields &allHTTPHeaderFields() const { return m_headerFields; }
    // Replaces every field of that name (compared without regard to case).
    void setValue(const QByteArray &value, const QByteArray &field);
    const QByteArray &httpBody() const { return m_httpBody; }
    void setHTTPBody(const QByteArray &body) { m_httpBody = body; }

    QNetworkRequest networkRequest() const;

private:
    URLRequest(const QUrl &url, std::chrono::milliseconds timeoutInterval);

    QUrl m_url;
    std::chrono::milliseconds m_timeoutInterval;
    QByteArray m_httpMethod = QByteArrayLiteral("GET");
    HeaderFields m_headerFields;
    QByteArray m_httpBody;
};
