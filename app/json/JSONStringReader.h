#pragma once

#include "json/StringCache.h"

#include <QString>

#include <optional>
#include <vector>

// What stands between the quotes of a JSON string, read from its UTF-8 bytes. A run of
// plain bytes (found sixteen at a time) becomes text in one piece, a short ASCII one shared
// through a cache; an escape adds its code unit, a \u escape exactly one, with surrogates
// neither paired nor checked. Raw control characters are taken as they are. Owned by one
// scanner, for one document at a time.
class JSONStringReader {
public:
    enum class Failure { NotTerminated, NotUtf8, UnknownEscape, UnicodeEscapeInvalid };

    // How many bytes from from on come before the first double quote or backslash, or end;
    // *ascii tells whether all of them are below 0x80.
    static qsizetype plainRunLength(const char *from, const char *end, bool *ascii);

    // Reads from position, just past an opening quote, up to and past the closing quote;
    // *text (when given) receives the string. After a failure position is anywhere.
    std::optional<Failure> read(const char *&position, const char *end, QString *text);

private:
    QString plainText(const char *bytes, qsizetype length, bool ascii);
    // The rest of a string that has escapes, into m_text.
    std::optional<Failure> readEscaped(const char *&position, const char *end);
    // Appends the plain run at position; false when it is not valid UTF-8.
    bool appendPlainRun(const char *&position, const char *end);
    // The escape after a backslash at position.
    std::optional<Failure> appendEscape(const char *&position, const char *end);
    std::optional<Failure> appendUnicodeEscape(const char *&position, const char *end);

    StringCache m_strings;
    // Built here and made into a string once at the end, as appending to a string would
    // grow it again at every escape; its room stays from string to string.
    std::vector<char16_t> m_text;
};
