#include "json/CDataScanner_Extensions.h"

#include "json/CommentScanning.h"

bool scanCStyleComment(CDataScanner &scanner, QString *intoString) {
    return CommentScanning::scanCStyleComment(scanner, intoString);
}

bool scanCPlusPlusStyleComment(CDataScanner &scanner, QString *intoString) {
    return CommentScanning::scanCPlusPlusStyleComment(scanner, intoString);
}
