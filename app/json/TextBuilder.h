#pragma once

#include <QString>

#include <array>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// A QString written through a cursor: a writer makes room once for a piece of known
// largest size and stores its units directly, with no per-unit size or sharing checks.
// Owns the text until take() hands it over.
class TextBuilder {
public:
    // Where the next count units go; they count once commit() is given their end.
    char16_t *reserve(qsizetype count) {
        if (m_limit - m_cursor < count) {
            grow(count);
        }
        return m_cursor;
    }
    void commit(char16_t *end) { m_cursor = end; }

    void append(char16_t unit) { *reserve(1) = unit, ++m_cursor; }
    // ASCII text.
    void appendLatin1(std::string_view text) {
        char16_t *out = reserve(qsizetype(text.size()));
        for (const char byte : text) {
            *out++ = char16_t(uchar(byte));
        }
        commit(out);
    }

    // The first length (at most 32) bytes of a number's text, ASCII, in a buffer of 32:
    // widened sixteen bytes at a time.
    void appendNumberText(const std::array<char, 32> &buffer, size_t length) {
        char16_t *const out = reserve(32);
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        for (int half = 0; half < 2; ++half) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(buffer.data() + 16 * half));
            auto *const units = reinterpret_cast<__m128i *>(out + 16 * half);
            _mm_storeu_si128(units, _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(units + 1, _mm_unpackhi_epi8(bytes, zero));
        }
#else
        for (size_t i = 0; i < length; ++i) {
            out[i] = char16_t(uchar(buffer[i]));
        }
#endif
        commit(out + length);
    }

    // The text written so far; the builder is empty afterwards.
    QString take();

private:
    void grow(qsizetype count);

    QString m_text;
    char16_t *m_cursor = nullptr;
    char16_t *m_limit = nullptr;
};
