#include "json/CJSONDeserializer.h"

#include "json/CJSONScanner.h"

const QString CJSONDeserializer::ErrorDomain = QStringLiteral("CJSONDeserializerErrorDomain");

bool CJSONDeserializer::reportMissingData(const QByteArray &data, Error *error) {
    if (!data.isEmpty()) {
        return false;
    }
    if (error) {
        *error = Error(ErrorDomain, NoDataErrorCode);
    }
    return true;
}

std::optional<QVariantMap> CJSONDeserializer::deserializeAsDictionary(const QByteArray &data,
                                                                      Error *error) const {
    if (reportMissingData(data, error)) {
        return std::nullopt;
    }
    QVariantMap dictionary;
    if (!CJSONScanner::scannerWithData(data)->scanJSONDictionary(&dictionary, error)) {
        return std::nullopt;
    }
    return dictionary;
}

QVariant CJSONDeserializer::deserialize(const QByteArray &data, Error *error) const {
    if (reportMissingData(data, error)) {
        return {};
    }
    QVariant object;
    CJSONScanner::scannerWithData(data)->scanJSONObject(&object, error);
    return object;
}
