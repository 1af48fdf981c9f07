#pragma once

#include "foundation/Error.h"

#include <QByteArray>
#include <QVariantMap>

#include <optional>

// What a document reader offers: the document's top-level dictionary, or none with the
// reason in *error.
class CDeserializerProtocol {
public:
    virtual ~CDeserializerProtocol() = default;
    virtual std::optional<QVariantMap> deserializeAsDictionary(const QByteArray &data,
                                                               Error *error = nullptr) const = 0;
};
