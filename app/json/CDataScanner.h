#pragma once

#include "json/CharacterSet.h"

#include <QByteArray>
#include <QString>

#include <cstring>
#include <memory>
#include <string>

// A forward cursor over an immutable block of bytes. Every character it returns or
// compares is one byte widened to a 16-bit code (0-255); runs of bytes become text only
// at the end, decoded once as UTF-8. A failed scan never moves the position.
class CDataScanner {
public:
    // What the character reads give at the end of the data: no byte has this value, so no
    // comparison with a byte can succeed there.
    static constexpr char16_t EndOfDataCharacter = 0xFFFF;

    CDataScanner();
    CDataScanner(const CDataScanner &) = delete;
    CDataScanner &operator=(const CDataScanner &) = delete;
    virtual ~CDataScanner() = default;

    static std::unique_ptr<CDataScanner> scannerWithData(const QByteArray &data);

    const QByteArray &data() const { return m_data; }
    // Setting the very data already held (the same shared buffer) keeps the position;
    // anything else starts over at its first byte. A null array means no data.
    virtual void setData(const QByteArray &data);

    quint64 scanLocation() const { return quint64(m_current - m_start); }
    // Only for locations read from scanLocation() earlier.
    void setScanLocation(quint64 location) { m_current = m_start + location; }
    bool isAtEnd() const { return m_current >= m_end; }

    char16_t currentCharacter() const {
        return m_current < m_end ? char16_t(uchar(*m_current)) : EndOfDataCharacter;
    }
    char16_t scanCharacter() {
        const char16_t character = currentCharacter();
        if (m_current < m_end) {
            ++m_current;
        }
        return character;
    }
    bool scanCharacter(char16_t character) {
        if (m_current < m_end && uchar(*m_current) == character) {
            ++m_current;
            return true;
        }
        return false;
    }

    bool scanUTF8String(const char *literal, QString *intoString = nullptr) {
        // Inline, so that the length and the comparison of a literal fold to constants.
        const size_t length = std::char_traits<char>::length(literal);
        if (!scanBytes(literal, length)) {
            return false;
        }
        if (intoString) {
            *intoString = textOf(literal, qsizetype(length));
        }
        return true;
    }
    bool scanString(const QString &string, QString *intoString = nullptr);
    bool scanCharactersFromSet(const CharacterSet &set, QString *intoString = nullptr);
    bool scanUpToCharactersFromSet(const CharacterSet &set, QString *intoString = nullptr);
    // Finds the string's bytes in the rest of the data, searching no further than the first
    // NUL byte; stops before the occurrence.
    bool scanUpToString(const QString &string, QString *intoString = nullptr);
    // A run of doubleCharacters; the value is that of its longest numeric prefix (0 when
    // there is none, infinity of its sign when too large, zero when too small).
    bool scanNumber(double *number = nullptr);
    void skipWhitespace() {
        if (m_current < m_end && isWhitespace(uchar(*m_current))) {
            skipWhitespaceRun();
        }
    }
    // The same where a lone space is common, as after a colon: that one without a call.
    void skipWhitespaceAfterSeparator() {
        if (m_current < m_end && *m_current == ' ' && m_end - m_current > 1 &&
            !isWhitespace(uchar(m_current[1]))) {
            ++m_current;
            return;
        }
        skipWhitespace();
    }
    QString remainingString() const;

    const CharacterSet &doubleCharacters() const { return m_doubleCharacters; }
    void setDoubleCharacters(const CharacterSet &set) { m_doubleCharacters = set; }

protected:
    template <class Scanner>
    static std::unique_ptr<Scanner> makeScanner(const QByteArray &data) {
        auto scanner = std::make_unique<Scanner>();
        scanner->setData(data);
        return scanner;
    }

    const char *current() const { return m_current; }
    const char *end() const { return m_end; }
    void advance(qsizetype count) { m_current += count; }

private:
    // The white space of the POSIX locale: tab, line feed, vertical tab, form feed,
    // carriage return and space.
    static bool isWhitespace(uchar byte) { return byte == ' ' || (byte >= '\t' && byte <= '\r'); }
    void skipWhitespaceRun();
    // Length of the run from the current byte whose membership in the set equals member.
    qsizetype runLength(const CharacterSet &set, bool member) const;
    bool scanRun(qsizetype length, QString *intoString);
    bool scanBytes(const char *bytes, size_t length) {
        if (size_t(m_end - m_current) < length || std::memcmp(m_current, bytes, length) != 0) {
            return false;
        }
        m_current += length;
        return true;
    }
    static QString textOf(const char *bytes, qsizetype length);

    QByteArray m_data;
    const char *m_start;
    const char *m_end;
    const char *m_current;
    CharacterSet m_doubleCharacters;
};
