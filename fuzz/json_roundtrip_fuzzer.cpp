// Whatever the reader accepts, the writer writes, and the reader reads that text back to
// the same tree, which the writer writes to the same text.
#include "json/CJSONDeserializer.h"
#include "json/CJSONSerializer.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Texts the reader would take for UTF-16 or UTF-32: a top-level string that starts with
// NUL characters, which the writer puts out raw.
bool looksLikeWideText(const QByteArray &bytes) {
    return bytes.size() >= 4 && (bytes[1] == 0 || bytes[2] == 0 || bytes[3] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const CJSONDeserializer deserializer = CJSONDeserializer::deserializer();
    const QVariant first =
        deserializer.deserialize(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!first.isValid()) {
        return 0;
    }
    const CJSONSerializer serializer = CJSONSerializer::serializer();
    const QString text = serializer.serializeObject(first);
    const QByteArray utf8 = text.toUtf8();
    // Lone surrogates do not survive the UTF-8 encoding; such trees are not compared.
    if (QString::fromUtf8(utf8) != text || looksLikeWideText(utf8)) {
        return 0;
    }
    const QVariant second = deserializer.deserialize(utf8);
    if (second != first || serializer.serializeObject(second) != text) {
        std::abort();
    }
    return 0;
}
