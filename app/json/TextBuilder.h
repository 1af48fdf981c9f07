#pragma once

#include <QString>

#include <string_view>

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

    // The text written so far; the builder is empty afterwards.
    QString take();

private:
    void grow(qsizetype count);

    QString m_text;
    char16_t *m_cursor = nullptr;
    char16_t *m_limit = nullptr;
};
