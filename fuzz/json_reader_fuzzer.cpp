// Any bytes through both entry points of the reader: no crash, no leak, no undefined
// behaviour, and a failure always comes with an error. A value read twice in one array
// comes out the same both times: the second is read along what the first taught.
#include "json/CJSONDeserializer.h"
#include "json/CJSONScanner.h"

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

    // A NUL could make the pair read as UTF-16 or UTF-32 where the value alone was not.
    const auto scanner = CJSONScanner::scannerWithData(bytes);
    QVariant once;
    if (!scanner->scanJSONObject(&once) || bytes.contains('\0')) {
        return 0;
    }
    scanner->skipWhitespace();
    // The pair nests one level deeper, which may pass the limit.
    const qsizetype openings = bytes.count('[') + bytes.count('{');
    if (!scanner->isAtEnd() || openings >= CJSONScanner::MaximumNestingDepth) {
        return 0;
    }
    const QVariantList twice = deserializer.deserialize('[' + bytes + ',' + bytes + ']').toList();
    if (twice.size() != 2 || twice[0] != once || twice[1] != once) {
        std::abort();
    }
    return 0;
}
