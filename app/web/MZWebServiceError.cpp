#include "web/MZWebServiceError.h"

Error MZWebServiceError::error(Code code) {
    switch (code) {
    case URLNil:
        return Error(QStringLiteral("URL Can not be nil!"), code);
    case RequestCreate:
        return Error(QStringLiteral("URL Request Create Error!"), code);
    case FileExist:
        return Error(QStringLiteral("File Exist!"), code);
    case CreateFileFail:
        return Error(QStringLiteral("Create File Fail!"), code);
    case UnexpectedResponse:
        return Error(QStringLiteral("Unexpected Response!"), code);
    case WriteFileFail:
        return Error(QStringLiteral("Write File Fail!"), code);
    case ResponseTooLarge:
        break;
    }
    return Error(QStringLiteral("Response Too Large!"), ResponseTooLarge);
}
