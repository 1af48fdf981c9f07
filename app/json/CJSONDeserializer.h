#pragma once

#include "foundation/Error.h"
#include "json/CDeserializerProtocol.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

// Reads JSON documents (UTF-8, or UTF-16/UTF-32 of either byte order) into QVariant
// trees: QVariantMap, QVariantList, QString, double, bool and std::nullptr_t. Stateless;
// one deserializer serves any number of documents.
class CJSONDeserializer : public CDeserializerProtocol {
public:
    static const QString ErrorDomain;
    static constexpr qint64 NoDataErrorCode = -1;

    static CJSONDeserializer deserializer() { return {}; }

    // The dictionary that starts at the very first byte; what follows it is ignored.
    // Missing or empty data fails with ErrorDomain / NoDataErrorCode and no description,
    // anything else with the outermost dictionary's scanner error. *error is left alone
    // on success.
    std::optional<QVariantMap> deserializeAsDictionary(const QByteArray &data,
                                                       Error *error = nullptr) const override;
    // A value of any kind after leading white space; an invalid QVariant on failure.
    QVariant deserialize(const QByteArray &data, Error *error = nullptr) const;

private:
    static bool reportMissingData(const QByteArray &data, Error *error);
};
