#include "foundation/Error.h"

#include <utility>

const QString Error::LocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");

Error::Error(QString domain, qint64 code, QVariantMap userInfo)
    : m_domain(std::move(domain)), m_code(code), m_userInfo(std::move(userInfo)) {}

QString Error::localizedDescription() const {
    return m_userInfo.value(LocalizedDescriptionKey).toString();
}
