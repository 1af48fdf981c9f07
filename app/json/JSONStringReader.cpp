#include "json/JSONStringReader.h"

#include "json/ByteWord.h"
#include "json/Utf8Codec.h"

#include <bit>
#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

int hexDigitValue(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return -1;
}

// The unit a one-character escape stands for, or 0 when there is no such escape.
char16_t escapedUnit(char escaped) {
    switch (escaped) {
    case '"':
    case '\\':
    case '/':
        return char16_t(escaped);
    case 'b':
        return u'\b';
    case 'f':
        return u'\f';
    case 'n':
        return u'\n';
    case 'r':
        return u'\r';
    case 't':
        return u'\t';
    default:
        return 0;
    }
}

}  // namespace

qsizetype JSONStringReader::plainRunLength(const char *from, const char *end, bool *ascii) {
    const char *position = from;
    uint64_t highBits = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time while there are as many; the words below finish the text.
    for (; end - position >= 16; position += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(position));
        const unsigned stops =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')))));
        const unsigned high = unsigned(_mm_movemask_epi8(bytes));
        if (stops != 0) {
            const int before = std::countr_zero(stops);
            *ascii = highBits == 0 && (high & ((1u << before) - 1)) == 0;
            return position + before - from;
        }
        highBits |= high != 0 ? ByteWord::HighBits : 0;
    }
#endif
    for (; end - position >= 8; position += 8) {
        const uint64_t eight = ByteWord::load(position);
        const uint64_t stops = ByteWord::equalBytes(eight, '"') | ByteWord::equalBytes(eight, '\\');
        if (stops != 0) {
            const int before = ByteWord::firstMarked(stops);
            *ascii = ((highBits | ByteWord::firstBytes(eight, before)) & ByteWord::HighBits) == 0;
            return position + before - from;
        }
        highBits |= eight;
    }
    while (position < end && *position != '"' && *position != '\\') {
        highBits |= uchar(*position);
        ++position;
    }
    *ascii = (highBits & ByteWord::HighBits) == 0;
    return position - from;
}

std::optional<JSONStringReader::Failure> JSONStringReader::read(const char *&position,
                                                                const char *end, QString *text) {
    bool ascii;
    const qsizetype length = plainRunLength(position, end, &ascii);
    if (length < end - position && position[length] == '"') {
        // One run up to the closing quote, as most strings are.
        QString plain = plainText(position, length, ascii);
        if (plain.isNull()) {
            return Failure::NotUtf8;
        }
        position += length + 1;
        if (text) {
            *text = std::move(plain);
        }
        return std::nullopt;
    }
    if (const std::optional<Failure> failure = readEscaped(position, end)) {
        return failure;
    }
    if (text) {
        *text = QString(reinterpret_cast<const QChar *>(m_text.data()), qsizetype(m_text.size()));
    }
    return std::nullopt;
}

QString JSONStringReader::plainText(const char *bytes, qsizetype length, bool ascii) {
    // A short ASCII text is shared with its earlier occurrences, any other made in one
    // piece at its size.
    if (length == 0) {
        return QStringLiteral("");
    }
    if (!ascii) {
        return Utf8Codec::decode(bytes, length);
    }
    return length <= StringCache::MaximumLength ? m_strings.text(bytes, length)
                                                : QString::fromLatin1(bytes, length);
}

std::optional<JSONStringReader::Failure> JSONStringReader::readEscaped(const char *&position,
                                                                       const char *end) {
    m_text.clear();
    while (position == end || *position != '"') {
        if (!appendPlainRun(position, end)) {
            return Failure::NotUtf8;
        }
        if (position == end) {
            return Failure::NotTerminated;
        }
        if (*position == '\\') {
            if (const std::optional<Failure> failure = appendEscape(++position, end)) {
                return failure;
            }
        }
    }
    ++position;
    return std::nullopt;
}

bool JSONStringReader::appendPlainRun(const char *&position, const char *end) {
    bool ascii;
    const qsizetype length = plainRunLength(position, end, &ascii);
    if (length == 0) {
        return true;
    }
    // Never more UTF-16 units than UTF-8 bytes.
    const size_t size = m_text.size();
    m_text.resize(size + size_t(length));
    const char16_t *const last = Utf8Codec::decodeInto(m_text.data() + size, position, length);
    if (!last) {
        return false;
    }
    m_text.resize(size_t(last - m_text.data()));
    position += length;
    return true;
}

std::optional<JSONStringReader::Failure> JSONStringReader::appendEscape(const char *&position,
                                                                        const char *end) {
    if (position == end) {
        return Failure::NotTerminated;
    }
    const char escaped = *position++;
    if (escaped == 'u') {
        return appendUnicodeEscape(position, end);
    }
    const char16_t unit = escapedUnit(escaped);
    if (unit == 0) {
        return Failure::UnknownEscape;
    }
    m_text.push_back(unit);
    return std::nullopt;
}

std::optional<JSONStringReader::Failure> JSONStringReader::appendUnicodeEscape(
    const char *&position, const char *end) {
    char16_t unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = position < end ? hexDigitValue(*position++) : -1;
        if (digit < 0) {
            return Failure::UnicodeEscapeInvalid;
        }
        unit = char16_t(unit << 4 | digit);
    }
    m_text.push_back(unit);
    return std::nullopt;
}
