#pragma once

#include "foundation/Error.h"
#include "web/URLResponse.h"

#include <QByteArray>

class URLConnection;

// What a URLConnection tells its delegate, on the connection's thread. After a failure or
// the finish, or once the connection is cancelled, nothing more is sent.
class URLConnectionDelegate {
public:
    virtual ~URLConnectionDelegate() = default;
    virtual void connectionDidReceiveResponse(URLConnection *, const URLResponse &) {}
    virtual void connectionDidReceiveData(URLConnection *, const QByteArray &) {}
    virtual void connectionDidFail(URLConnection *, const Error &) {}
    virtual void connectionDidFinishLoading(URLConnection *) {}
};
