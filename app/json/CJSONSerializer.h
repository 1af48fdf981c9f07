#pragma once

#include "json/TextBuilder.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <cstddef>

// Writes a QVariant tree as compact JSON text. Accepted: std::nullptr_t, bool and the
// arithmetic types, QString, QVariantList, QVariantMap, and QByteArray (written as its
// UTF-8 text). Anything else raises GenericException and no text is returned.
class CJSONSerializer {
public:
    // Containers nested deeper than this raise GenericException, so a deep tree cannot
    // exhaust the stack.
    static constexpr int MaximumNestingDepth = 1024;

    static CJSONSerializer serializer() { return {}; }

    QString serializeObject(const QVariant &object) const;
    QString serializeNull(std::nullptr_t = nullptr) const;
    // bool (and a char-typed 0 or 1) as "true"/"false", integers exactly, other finite
    // numbers as the shortest text that reads back to the same double, infinities as
    // 1e999 and -1e999. Not a number, or a value that is no number, gives a null string.
    QString serializeNumber(const QVariant &number) const;
    QString serializeString(const QString &string) const;
    QString serializeArray(const QVariantList &array) const;
    QString serializeDictionary(const QVariantMap &dictionary) const;

private:
    static void appendObject(TextBuilder &out, const QVariant &object, int depth);
    static bool appendNumber(TextBuilder &out, const QVariant &number);
    static void appendString(TextBuilder &out, const QString &string);
    static void appendData(TextBuilder &out, const QByteArray &data);
    static void appendArray(TextBuilder &out, const QVariantList &array, int depth);
    static void appendDictionary(TextBuilder &out, const QVariantMap &dictionary, int depth);
    static void checkDepth(int depth);
};
