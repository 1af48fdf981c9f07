#include "json/TextScanner.h"

#include "foundation/GenericException.h"

#include <utility>

TextScanner::TextScanner(QString string)
    : m_string(std::move(string)), m_skipped(CharacterSet::whitespaceAndNewlineCharacterSet()) {}

void TextScanner::setScanLocation(qsizetype location) {
    if (location < 0 || location > m_string.size()) {
        throw GenericException(QStringLiteral("Scan location out of range."),
                               QStringLiteral("NSRangeException"));
    }
    m_location = location;
}

qsizetype TextScanner::runEnd(qsizetype from, const CharacterSet &set, bool member) const {
    const char16_t *text = reinterpret_cast<const char16_t *>(m_string.constData());
    qsizetype position = from;
    while (position < m_string.size() && set.characterIsMember(text[position]) == member) {
        ++position;
    }
    return position;
}

qsizetype TextScanner::afterSkipped() const { return runEnd(m_location, m_skipped, true); }

bool TextScanner::takeRun(qsizetype from, qsizetype to, QString *intoString) {
    if (to == from) {
        return false;
    }
    if (intoString) {
        *intoString = m_string.mid(from, to - from);
    }
    m_location = to;
    return true;
}

bool TextScanner::scanString(const QString &string, QString *intoString) {
    const qsizetype start = afterSkipped();
    if (!QStringView(m_string).sliced(start).startsWith(string)) {
        return false;
    }
    m_location = start + string.size();
    if (intoString) {
        *intoString = string;
    }
    return true;
}

bool TextScanner::scanCharactersFromSet(const CharacterSet &set, QString *intoString) {
    const qsizetype start = afterSkipped();
    return takeRun(start, runEnd(start, set, true), intoString);
}

bool TextScanner::scanUpToCharactersFromSet(const CharacterSet &set, QString *intoString) {
    const qsizetype start = afterSkipped();
    return takeRun(start, runEnd(start, set, false), intoString);
}

bool TextScanner::scanUpToString(const QString &string, QString *intoString) {
    const qsizetype start = afterSkipped();
    const qsizetype found = m_string.indexOf(string, start);
    return takeRun(start, found < 0 ? m_string.size() : found, intoString);
}
