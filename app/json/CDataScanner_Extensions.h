#pragma once

#include "json/CDataScanner.h"

#include <QString>

// Comment readers over bytes. Both return false without moving when the opening marker is
// not next; once it is consumed, a malformed C style comment raises GenericException.
bool scanCStyleComment(CDataScanner &scanner, QString *intoString = nullptr);
// The body runs up to a line-break byte (LF, FF, CR or 0x85) or the end of the data; it
// stays a null string when the comment is empty.
bool scanCPlusPlusStyleComment(CDataScanner &scanner, QString *intoString = nullptr);
