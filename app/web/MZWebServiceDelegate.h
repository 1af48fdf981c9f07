#pragma once

#include "foundation/Error.h"

#include <QByteArray>

class MZWebService;

// Told about an event-driven transfer, on the main thread. Every method is optional; the
// service holds its delegate without owning it.
class MZWebServiceDelegate {
public:
    virtual ~MZWebServiceDelegate() = default;
    // The response has arrived.
    virtual void webServiceBegin(MZWebService *) {}
    // The transfer failed, or its request could not be built.
    virtual void webServiceFail(MZWebService *, const Error &) {}
    // The transfer finished; data is the whole body, empty (never none) for an empty one.
    virtual void webServiceFinish(MZWebService *, const QByteArray &) {}
};
