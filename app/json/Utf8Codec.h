#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Strict conversions between UTF-8 bytes and the other Unicode encoding forms. Bytes that
// are not well-formed (overlong forms, encoded surrogates, code points above U+10FFFF,
// truncated sequences, unpaired UTF-16 surrogates) are refused, never replaced by U+FFFD.
class Utf8Codec {
public:
    enum class ByteOrder { BigEndian, LittleEndian };

    // The text of the bytes, or a null string when they are not valid UTF-8. An empty run
    // gives an empty, non-null string.
    static QString decode(const char *bytes, qsizetype length);
    // Appends the text of the bytes to out; false (out unchanged) when they are not valid.
    static bool appendDecoded(QString &out, const char *bytes, qsizetype length);

    // Writes the text of the bytes at dst (room for length units) and returns the end of
    // what it wrote, or null when they are not valid.
    static char16_t *decodeInto(char16_t *dst, const char *bytes, qsizetype length);

    static std::optional<QByteArray> fromUtf16(const QByteArray &bytes, ByteOrder order);
    static std::optional<QByteArray> fromUtf32(const QByteArray &bytes, ByteOrder order);
    // The UTF-8 form of a text that may be UTF-16 or UTF-32 of either byte order, as told by
    // which of its first four bytes are zero; any other text as it is. A null array when
    // the form it was taken for does not decode.
    static QByteArray utf8Form(const QByteArray &text);
};
