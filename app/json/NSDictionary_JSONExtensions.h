#pragma once

#include "foundation/Error.h"

#include <QByteArray>
#include <QVariant>

// The document's top-level value, whatever its kind (not only a dictionary), or an
// invalid QVariant with the reason in *error.
QVariant dictionaryWithJSONData(const QByteArray &data, Error *error = nullptr);
