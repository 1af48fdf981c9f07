#pragma once

#include "foundation/GenericException.h"
#include "json/NSCharacterSet_Extensions.h"

#include <QString>

// The comment readers, written once for both scanners. Each scanner brings its own rules
// for scanString, scanUpToString and the set scans (the byte scanner tests bytes, the text
// scanner whole UTF-16 characters and skips its skip set first), so the same steps give
// each scanner's own results.
namespace CommentScanning {

template <class Scanner>
bool scanCStyleComment(Scanner &scanner, QString *intoString) {
    if (!scanner.scanString(QStringLiteral("/*"))) {
        return false;
    }
    QString body;
    if (!scanner.scanUpToString(QStringLiteral("*/"), &body)) {
        throw GenericException(
            QStringLiteral("Started to scan a C style comment but it wasn't terminated."));
    }
    if (body.contains(QStringLiteral("/*"))) {
        throw GenericException(QStringLiteral("C style comments should not be nested."));
    }
    if (!scanner.scanString(QStringLiteral("*/"))) {
        throw GenericException(QStringLiteral("C style comment did not end correctly."));
    }
    if (intoString) {
        *intoString = body;
    }
    return true;
}

template <class Scanner>
bool scanCPlusPlusStyleComment(Scanner &scanner, QString *intoString) {
    if (!scanner.scanString(QStringLiteral("//"))) {
        return false;
    }
    const CharacterSet linebreaks = linebreaksCharacterSet();
    QString body;
    scanner.scanUpToCharactersFromSet(linebreaks, &body);
    // Blank lines after the comment go with it.
    scanner.scanCharactersFromSet(linebreaks);
    if (intoString) {
        *intoString = body;
    }
    return true;
}

}  // namespace CommentScanning
