#include "json/NSScanner_Extensions.h"

#include "foundation/GenericException.h"
#include "json/CommentScanning.h"

QString remainingString(const TextScanner &scanner) {
    return scanner.string().mid(scanner.scanLocation());
}

char16_t currentCharacter(const TextScanner &scanner) {
    const qsizetype location = scanner.scanLocation();
    return location < scanner.string().size() ? scanner.string().at(location).unicode()
                                              : EndOfTextCharacter;
}

char16_t scanCharacter(TextScanner &scanner) {
    const char16_t character = currentCharacter(scanner);
    if (scanner.scanLocation() < scanner.string().size()) {
        scanner.setScanLocation(scanner.scanLocation() + 1);
    }
    return character;
}

bool scanCharacter(TextScanner &scanner, char16_t character) {
    if (scanner.scanLocation() >= scanner.string().size() ||
        currentCharacter(scanner) != character) {
        return false;
    }
    scanner.setScanLocation(scanner.scanLocation() + 1);
    return true;
}

void backtrack(TextScanner &scanner, quint32 count) {
    if (count > scanner.scanLocation()) {
        throw GenericException(QStringLiteral("Backtracked too far."));
    }
    scanner.setScanLocation(scanner.scanLocation() - count);
}

bool scanCStyleComment(TextScanner &scanner, QString *intoString) {
    return CommentScanning::scanCStyleComment(scanner, intoString);
}

bool scanCPlusPlusStyleComment(TextScanner &scanner, QString *intoString) {
    return CommentScanning::scanCPlusPlusStyleComment(scanner, intoString);
}
