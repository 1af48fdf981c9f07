#pragma once

#include "json/CharacterSet.h"

#include <QString>

// A scanner over text, located in UTF-16 code units. Before each scan it passes over the
// characters it is set to skip (white space and line breaks unless changed). A scan that
// fails leaves the location where it was, skipped characters included.
class TextScanner {
public:
    explicit TextScanner(QString string);

    const QString &string() const { return m_string; }
    qsizetype scanLocation() const { return m_location; }
    // Raises GenericException named "NSRangeException" for a location past the end.
    void setScanLocation(qsizetype location);
    const CharacterSet &charactersToBeSkipped() const { return m_skipped; }
    void setCharactersToBeSkipped(const CharacterSet &set) { m_skipped = set; }

    bool scanString(const QString &string, QString *intoString = nullptr);
    bool scanCharactersFromSet(const CharacterSet &set, QString *intoString = nullptr);
    // Takes the rest of the text when no member of the set follows; fails on an empty run.
    bool scanUpToCharactersFromSet(const CharacterSet &set, QString *intoString = nullptr);
    // Takes the rest of the text when the string does not follow; fails when it scans no
    // character at all.
    bool scanUpToString(const QString &string, QString *intoString = nullptr);

private:
    qsizetype afterSkipped() const;
    qsizetype runEnd(qsizetype from, const CharacterSet &set, bool member) const;
    // Moves to to, delivering the text from from; fails on an empty run.
    bool takeRun(qsizetype from, qsizetype to, QString *intoString);

    QString m_string;
    qsizetype m_location = 0;
    CharacterSet m_skipped;
};
