#include "foundation/GenericException.h"

#include <utility>

const QString GenericException::GenericExceptionName = QStringLiteral("NSGenericException");

GenericException::GenericException(QString reason, QString name)
    : m_name(std::move(name)), m_reason(std::move(reason)),
      m_what((m_name + QStringLiteral(": ") + m_reason).toStdString()) {}
