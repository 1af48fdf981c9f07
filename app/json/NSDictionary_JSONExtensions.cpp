#include "NSDictionary_JSONExtensions.h"

#include "CJSONDeserializer.h"

QVariant dictionaryWithJSONData(const QByteArray &data, Error *error) {
    return CJSONDeserializer::deserializer().deserialize(data, error);
}
