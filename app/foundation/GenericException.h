#pragma once

#include <QString>

#include <exception>
#include <string>

// Raised for programming errors that callers are not expected to recover from
// (an unsupported value handed to the JSON writer, a scanner misuse). Carries a name
// and a human-readable reason.
class GenericException : public std::exception {
public:
    static const QString GenericExceptionName;

    explicit GenericException(QString reason, QString name = GenericExceptionName);

    const QString &name() const { return m_name; }
    const QString &reason() const { return m_reason; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    QString m_name;
    QString m_reason;
    std::string m_what;
};
