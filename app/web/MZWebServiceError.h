#pragma once

#include "foundation/Error.h"

// The errors the web services raise themselves: the domain is the message text, with no
// user information. Transport failures keep the transport's own errors.
class MZWebServiceError {
public:
    enum Code : qint64 {
        URLNil = 100,            // "URL Can not be nil!"
        RequestCreate = 101,     // "URL Request Create Error!"
        FileExist = 102,         // "File Exist!"
        CreateFileFail = 103,    // "Create File Fail!"
        ResponseTooLarge = 104,  // "Response Too Large!": a body over the service's limit
        // "Unexpected Response!": a download's answer is neither exactly the rest of its file
        // nor the whole of it
        UnexpectedResponse = 105,
        WriteFileFail = 106,  // "Write File Fail!": a download cannot write or move its file
    };

    static Error error(Code code);
};
