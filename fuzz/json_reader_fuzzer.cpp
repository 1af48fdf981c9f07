// Any bytes through both entry points of the reader: no crash, no leak, no undefined
// behaviour, and a failure always comes with an error.
#include "json/CJSONDeserializer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const CJSONDeserializer deserializer = CJSONDeserializer::deserializer();
    Error error;
    if (!deserializer.deserializeAsDictionary(bytes, &error) && error.domain().isEmpty()) {
        std::abort();
    }
    deserializer.deserialize(bytes, &error);
    return 0;
}
