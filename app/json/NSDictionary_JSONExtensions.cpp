#include "json/NSDictionary_JSONExtensions.h"

#include "json/CJSONDeserializer.h"

QVariant dictionaryWithJSONData(const QByteArray &data, Error *error) {
    return CJSONDeserializer::deserializer().deserialize(data, error);
}
