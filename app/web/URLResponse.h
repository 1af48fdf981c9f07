#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <utility>

class QNetworkReply;

// What the server answered before the body: status, header fields and the announced
// length. A plain value, kept as long as its holder wants.
class URLResponse {
public:
    using HeaderFields = QList<std::pair<QByteArray, QByteArray>>;

    // A response made from the address alone: no status, no fields, no announced length.
    explicit URLResponse(const QUrl &url = {});
    static URLResponse fromReply(const QNetworkReply &reply);

    const QUrl &url() const { return m_url; }
    // The HTTP status code, 0 when there is none.
    int statusCode() const { return m_statusCode; }
    const HeaderFields &allHeaderFields() const { return m_headerFields; }
    // The first field of that name (compared without regard to case), or a null array.
    QByteArray valueForHTTPHeaderField(const QByteArray &field) const;
    // The announced body length, -1 when the server announced none.
    qint64 expectedContentLength() const { return m_expectedContentLength; }
    // The address's last path component, or its host when the path has none.
    QString suggestedFilename() const;

private:
    QUrl m_url;
    int m_statusCode = 0;
    HeaderFields m_headerFields;
    qint64 m_expectedContentLength = -1;
};
