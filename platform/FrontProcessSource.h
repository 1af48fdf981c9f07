#pragma once

#include <QString>

// Tells the name of the process whose window is in front. Implementations keep the
// name current on their own so that asking is cheap; a null string means no name. The
// reference stays valid until control returns to the event loop.
class FrontProcessSource {
public:
    virtual ~FrontProcessSource() = default;
    virtual const QString &frontProcessName() const = 0;
};
