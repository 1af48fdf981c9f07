#include "json/Utf8Codec.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint64_t HighBitsOfEightBytes = 0x8080808080808080ULL;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

bool isThreeByteLead(unsigned char byte) { return (byte & 0xF0) == 0xE0; }

// The value of a three-byte sequence from its lead's four value bits and its continuation
// bytes' six, or 0 when that is an overlong form (below U+0800) or an encoded surrogate.
// Inlined: it is the whole body of the three-byte loops.
[[gnu::always_inline]] inline char32_t threeByteValue(char32_t lead, char32_t second,
                                                      char32_t third) {
    const char32_t value = lead << 12 | second << 6 | third;
    return value >= 0x800 && value - 0xD800 >= 0x800 ? value : 0;
}

// The value of the three-byte sequence at src (most text outside Latin scripts), or 0 when
// it is not well-formed.
[[gnu::always_inline]] inline char32_t threeByteValue(const unsigned char *src) {
    // Continuation bytes are 10xxxxxx: flipping the top bit leaves their six value bits.
    const char32_t second = src[1] ^ 0x80u;
    const char32_t third = src[2] ^ 0x80u;
    return (second | third) < 0x40 ? threeByteValue(src[0] & 0x0Fu, second, third) : 0;
}

// Decodes the two three-byte sequences that the eight bytes at src start with, when they
// are two, into dst; how many sequences that took (0 when the bytes are something else),
// or -1 when they are two but one is not well-formed.
[[gnu::always_inline]] inline int decodeThreeBytePair(char16_t *dst, const unsigned char *src) {
    uint64_t word;
    std::memcpy(&word, src, sizeof word);
    // Lead 1110xxxx then two 10xxxxxx, twice, the first sequence in the lowest bytes.
    if ((word & 0x0000C0C0F0C0C0F0ULL) != 0x00008080E08080E0ULL) {
        return 0;
    }
    const char32_t first = threeByteValue(word & 0x0F, word >> 8 & 0x3F, word >> 16 & 0x3F);
    const char32_t second = threeByteValue(word >> 24 & 0x0F, word >> 32 & 0x3F, word >> 40 & 0x3F);
    if (first == 0 || second == 0) {
        return -1;
    }
    dst[0] = char16_t(first);
    dst[1] = char16_t(second);
    return 2;
}

// Decodes one multi-byte sequence starting at src (whose first byte is >= 0x80).
// Returns its length, or 0 when it is not well-formed; *codePoint receives the value.
int decodeSequence(const unsigned char *src, const unsigned char *end, char32_t *codePoint) {
    const unsigned char lead = src[0];
    if (isThreeByteLead(lead) && end - src >= 3) {
        *codePoint = threeByteValue(src);
        return *codePoint != 0 ? 3 : 0;
    }
    int length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;   // overlong
        high = lead == 0xF4 ? 0x8F : 0xBF;  // above U+10FFFF
    } else {
        return 0;
    }
    if (end - src < length || src[1] < low || src[1] > high) {
        return 0;
    }
    char32_t value = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(src[i])) {
            return 0;
        }
        value = (value << 6) | (src[i] & 0x3F);
    }
    *codePoint = value;
    return length;
}

char16_t *appendUtf16(char16_t *dst, char32_t codePoint) {
    if (codePoint < 0x10000) {
        *dst++ = char16_t(codePoint);
        return dst;
    }
    codePoint -= 0x10000;
    *dst++ = char16_t(0xD800 + (codePoint >> 10));
    *dst++ = char16_t(0xDC00 + (codePoint & 0x3FF));
    return dst;
}

void appendUtf8(QByteArray &out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.append(char(codePoint));
    } else if (codePoint < 0x800) {
        out.append(char(0xC0 | (codePoint >> 6)));
        out.append(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.append(char(0xE0 | (codePoint >> 12)));
        out.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(char(0x80 | (codePoint & 0x3F)));
    } else {
        out.append(char(0xF0 | (codePoint >> 18)));
        out.append(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.append(char(0x80 | (codePoint & 0x3F)));
    }
}

char32_t readUnit(const unsigned char *src, int width, Utf8Codec::ByteOrder order) {
    char32_t value = 0;
    for (int i = 0; i < width; ++i) {
        const int index = order == Utf8Codec::ByteOrder::BigEndian ? i : width - 1 - i;
        value = (value << 8) | src[index];
    }
    return value;
}

bool isSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

QString Utf8Codec::decode(const char *bytes, qsizetype length) {
    // Never more UTF-16 units than UTF-8 bytes. A short text is decoded where that costs no
    // allocation and then made at its exact size; a long one is shrunk in place.
    constexpr qsizetype Short = 1024;
    if (length <= Short) {
        char16_t buffer[Short];
        const char16_t *const last = decodeInto(buffer, bytes, length);
        return last ? QString(reinterpret_cast<const QChar *>(buffer), last - buffer) : QString();
    }
    QString text = QStringLiteral("");
    if (!appendDecoded(text, bytes, length)) {
        return {};
    }
    if (text.size() < length) {
        text.squeeze();
    }
    return text;
}

bool Utf8Codec::appendDecoded(QString &out, const char *bytes, qsizetype length) {
    const qsizetype oldSize = out.size();
    out.resize(oldSize + length);  // never more UTF-16 units than UTF-8 bytes
    char16_t *const begin = reinterpret_cast<char16_t *>(out.data());
    const char16_t *const last = decodeInto(begin + oldSize, bytes, length);
    out.resize(last ? last - begin : oldSize);
    return last != nullptr;
}

char16_t *Utf8Codec::decodeInto(char16_t *dst, const char *bytes, qsizetype length) {
    const auto *src = reinterpret_cast<const unsigned char *>(bytes);
    const unsigned char *const end = src + length;
    while (src < end) {
        // A run of three-byte sequences, as in CJK text, in loops of its own: two at a time
        // where eight bytes can be read, then one at a time.
        if constexpr (std::endian::native == std::endian::little) {
            for (int pair; end - src >= 8 && (pair = decodeThreeBytePair(dst, src)) != 0;) {
                if (pair < 0) {
                    return nullptr;
                }
                src += 6;
                dst += 2;
            }
        }
        for (; end - src >= 3 && isThreeByteLead(*src); src += 3) {
            const char32_t value = threeByteValue(src);
            if (value == 0) {
                return nullptr;
            }
            *dst++ = char16_t(value);
        }
        if (src == end) {
            break;
        }
        if (*src >= 0x80) {
            char32_t codePoint;
            const int sequenceLength = decodeSequence(src, end, &codePoint);
            if (sequenceLength == 0) {
                return nullptr;
            }
            src += sequenceLength;
            dst = appendUtf16(dst, codePoint);
            continue;
        }
        uint64_t eight;
        while (end - src >= 8 &&
               (std::memcpy(&eight, src, 8), (eight & HighBitsOfEightBytes) == 0)) {
            for (int i = 0; i < 8; ++i) {
                dst[i] = src[i];
            }
            src += 8;
            dst += 8;
        }
        while (src < end && *src < 0x80) {
            *dst++ = *src++;
        }
    }
    return dst;
}

std::optional<QByteArray> Utf8Codec::fromUtf16(const QByteArray &bytes, ByteOrder order) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    QByteArray out;
    out.reserve(bytes.size());
    const auto *src = reinterpret_cast<const unsigned char *>(bytes.constData());
    const unsigned char *const end = src + bytes.size();
    while (src < end) {
        char32_t unit = readUnit(src, 2, order);
        src += 2;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return std::nullopt;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const char32_t trail = src < end ? readUnit(src, 2, order) : 0;
            if (trail < 0xDC00 || trail > 0xDFFF) {
                return std::nullopt;
            }
            src += 2;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (trail - 0xDC00);
        }
        appendUtf8(out, unit);
    }
    return out;
}

std::optional<QByteArray> Utf8Codec::fromUtf32(const QByteArray &bytes, ByteOrder order) {
    if (bytes.size() % 4 != 0) {
        return std::nullopt;
    }
    QByteArray out;
    out.reserve(bytes.size() / 2);
    const auto *src = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size(); i += 4) {
        const char32_t codePoint = readUnit(src + i, 4, order);
        if (codePoint > 0x10FFFF || isSurrogate(codePoint)) {
            return std::nullopt;
        }
        appendUtf8(out, codePoint);
    }
    return out;
}

QByteArray Utf8Codec::utf8Form(const QByteArray &text) {
    if (text.size() < 4) {
        return text;
    }
    const int zeroPattern =
        (text[0] == 0) << 3 | (text[1] == 0) << 2 | (text[2] == 0) << 1 | (text[3] == 0);
    std::optional<QByteArray> converted;
    switch (zeroPattern) {
    case 0b1110:
        converted = fromUtf32(text, ByteOrder::BigEndian);
        break;
    case 0b1010:
        converted = fromUtf16(text, ByteOrder::BigEndian);
        break;
    case 0b0111:
        converted = fromUtf32(text, ByteOrder::LittleEndian);
        break;
    case 0b0101:
        converted = fromUtf16(text, ByteOrder::LittleEndian);
        break;
    default:
        return text;
    }
    return converted.value_or(QByteArray());
}
