#pragma once

#include "web/MZWebServiceDelegate.h"

class MZDownloadWebService;

// A download's delegate: the web service messages, plus the progress every two seconds
// while the total size is known. Not owned by the service.
class MZDownloadWebServiceDelegate : public MZWebServiceDelegate {
public:
    // progress is the share of the whole file on disk, 0.0 to 1.0.
    virtual void downloadProgressChange(MZDownloadWebService *, double /*progress*/) {}
};
