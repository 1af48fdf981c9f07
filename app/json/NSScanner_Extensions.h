#pragma once

#include "json/TextScanner.h"

#include <QString>

// Character reads and comment readers on a TextScanner. At the end of the text the
// character reads give EndOfTextCharacter and never move past the end.
inline constexpr char16_t EndOfTextCharacter = 0xFFFF;

QString remainingString(const TextScanner &scanner);
char16_t currentCharacter(const TextScanner &scanner);
char16_t scanCharacter(TextScanner &scanner);
bool scanCharacter(TextScanner &scanner, char16_t character);
// Moves back by count units; raises GenericException "Backtracked too far." (location
// unchanged) when count exceeds the location.
void backtrack(TextScanner &scanner, quint32 count);

// The scanner's own rules apply: skipped characters are passed over before each step,
// U+2028 and U+2029 end a line, and an empty comment «/**/» is reported unterminated.
bool scanCStyleComment(TextScanner &scanner, QString *intoString = nullptr);
bool scanCPlusPlusStyleComment(TextScanner &scanner, QString *intoString = nullptr);
