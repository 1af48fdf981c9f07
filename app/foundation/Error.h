#pragma once

#include <QString>
#include <QVariantMap>

// The error value every subsystem reports failures with: a domain, a code and optional
// user information. The human-readable message, when there is one, sits under
// LocalizedDescriptionKey in userInfo.
class Error {
public:
    static const QString LocalizedDescriptionKey;

    Error() = default;
    Error(QString domain, qint64 code, QVariantMap userInfo = {});

    const QString &domain() const { return m_domain; }
    qint64 code() const { return m_code; }
    const QVariantMap &userInfo() const { return m_userInfo; }
    // The message under LocalizedDescriptionKey, or a null string.
    QString localizedDescription() const;

    bool operator==(const Error &other) const = default;

private:
    QString m_domain;
    qint64 m_code = 0;
    QVariantMap m_userInfo;
};
