#include "web/URLResponse.h"

#include <QNetworkReply>

URLResponse::URLResponse(const QUrl &url) : m_url(url) {}

URLResponse URLResponse::fromReply(const QNetworkReply &reply) {
    URLResponse response(reply.url());
    response.m_statusCode = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    response.m_headerFields = reply.rawHeaderPairs();
    const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid()) response.m_expectedContentLength = length.toLongLong();
    return response;
}

QByteArray URLResponse::valueForHTTPHeaderField(const QByteArray &field) const {
    for (const auto &[name, value] : m_headerFields)
        if (name.compare(field, Qt::CaseInsensitive) == 0) return value;
    return {};
}

QString URLResponse::suggestedFilename() const {
    const QString name = m_url.fileName();
    return name.isEmpty() ? m_url.host() : name;
}
