#pragma once

#include "foundation/Error.h"
#include "json/CDataScanner.h"
#include "json/JSONStringReader.h"
#include "json/JSONValueBuilder.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <memory>
#include <optional>

// The JSON grammar over a CDataScanner, one scan per rule; the values are made by a
// JSONValueBuilder and the insides of strings read by a JSONStringReader. Setting data
// detects UTF-16 and UTF-32 of either byte order and scans their UTF-8 form. Each scan
// returns false on failure, with an error of ErrorDomain in *error when one applies; a
// failed container or string puts the position back at its start, and a container reports
// its own error over its member's.
class CJSONScanner : public CDataScanner {
public:
    static const QString ErrorDomain;
    // Containers nested deeper than this are refused, so hostile input cannot exhaust
    // the stack.
    static constexpr int MaximumNestingDepth = 1024;

    enum ErrorCode : qint64 {
        DictionaryNotStarted = -1,
        DictionaryKeyFailed = -2,
        DictionaryColonMissing = -3,
        DictionaryValueFailed = -4,
        DictionaryCommaMissing = -5,
        DictionaryNotTerminated = -6,
        ArrayNotStarted = -7,
        ArrayValueFailed = -8,
        ArrayCommaMissing = -9,
        ArrayNotTerminated = -10,
        StringNotStarted = -11,
        StringUnicodeEscapeInvalid = -12,
        StringEscapeUnknown = -13,
        NumberInvalid = -14,
        StringNotTerminated = -15,
        StringNotUtf8 = -16,
        NestingTooDeep = -17,
    };

    static std::unique_ptr<CJSONScanner> scannerWithData(const QByteArray &data);
    void setData(const QByteArray &data) override;

    // Skips white space, then any value. On failure *object becomes an invalid QVariant;
    // a byte that starts no value (or an incomplete literal) fails with no error set.
    bool scanJSONObject(QVariant *object, Error *error = nullptr);
    bool scanJSONDictionary(QVariantMap *dictionary, Error *error = nullptr);
    bool scanJSONArray(QVariantList *array, Error *error = nullptr);
    bool scanJSONStringConstant(QString *string, Error *error = nullptr);
    bool scanJSONNumberConstant(double *number, Error *error = nullptr) {
        return scanNumber(number) || fail(scanLocation(), NumberInvalid, error);
    }
    // The bytes up to the next double quote or backslash as text (a null string when they
    // are not valid UTF-8); false when there are none.
    bool scanNotQuoteCharactersIntoString(QString *string);

private:
    class NestingGuard;

    bool fail(quint64 location, ErrorCode code, Error *error);
    // The value ahead, or an invalid QVariant when there is none.
    QVariant scanValue(Error *error);
    template <class Value>
    QVariant scanAs(bool (CJSONScanner::*scan)(Value *, Error *), Error *error);
    QVariant scanNumberValue(Error *error);
    template <size_t Size>
    QVariant scanLiteral(const char (&literal)[Size], const QVariant &literalValue);
    // Scans the next element of an array into it; false when there is no value.
    bool scanElement(JSONValueBuilder::Array &elements);
    // The failure code of a dictionary member, if it fails.
    std::optional<ErrorCode> scanMember(JSONValueBuilder::Dictionary &members);

    int m_depth = 0;
    JSONValueBuilder m_builder;
    JSONStringReader m_strings;
};
