#pragma once

#include "foundation/Error.h"
#include "json/CDataScanner.h"
#include "json/DictionaryShapes.h"
#include "json/StringCache.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <map>
#include <memory>
#include <optional>
#include <vector>

// The JSON grammar over a CDataScanner. Setting data detects UTF-16 and UTF-32 of either
// byte order and scans their UTF-8 form. Each scan returns false on failure, with an error
// of ErrorDomain in *error when one applies; a failed container or string puts the
// position back at its start, and a container reports its own error over its member's.
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
    class ArrayElements;
    class DictionaryMembers;
    using MapNode = std::map<QString, QVariant>::iterator;
    struct MemberNode {
        MapNode node;
        const char *keyBytes;
    };

    bool fail(quint64 location, ErrorCode code, Error *error);
    // The value ahead, or an invalid QVariant when there is none.
    QVariant scanValue(Error *error);
    template <class Value>
    QVariant scanAs(bool (CJSONScanner::*scan)(Value *, Error *), Error *error);
    QVariant scanNumberValue(Error *error);
    template <size_t Size>
    QVariant scanLiteral(const char (&literal)[Size], const QVariant &literalValue);
    // Scans the next element of an array into it; false when there is no value.
    bool scanElement(ArrayElements &elements);
    // The failure code of a dictionary member, if it fails.
    std::optional<ErrorCode> scanMember(DictionaryMembers &members);
    // Moves past the key the dictionary's shape expects, when it stands next in the text in
    // its own bytes; false, without moving, otherwise.
    bool scanExpectedKey(const DictionaryShapes::Key *expected);
    // Whether the key stands next in the text in its own bytes.
    bool isKeyAhead(const DictionaryShapes::Key &key) const;
    // The shape learnt for a dictionary whose first key stands next in its own bytes
    // (ASCII, no escape), found without making the key; null otherwise.
    DictionaryShapes::Shape *shapeOfKeyAhead();
    // Length of the plain string bytes from from on; *ascii tells whether all are below
    // 0x80.
    qsizetype notQuoteRunLength(const char *from, bool *ascii) const;
    // The text of the plain string bytes ahead, length of them, all ASCII or not; a null
    // string when they are not valid UTF-8. It does not move.
    QString plainText(qsizetype length, bool ascii);
    // Whether a double quote stands offset bytes ahead.
    bool isClosingQuote(qsizetype offset) const {
        return offset < end() - current() && current()[offset] == '"';
    }
    // Reads the rest of a string that has escapes into m_text, up to and past its closing
    // quote; the failure code if it fails.
    std::optional<ErrorCode> scanEscapedText();
    // Appends the plain run ahead to m_text; false when it is not valid UTF-8.
    bool appendNotQuoteRun();
    // Reads the escape after a consumed backslash into m_text; the failure code if it is bad.
    std::optional<ErrorCode> appendEscape();
    std::optional<ErrorCode> appendUnicodeEscape();

    int m_depth = 0;
    // Elements and map nodes of the containers being scanned, stacked (see ArrayElements
    // and DictionaryMembers).
    std::vector<QVariant> m_elements;
    size_t m_elementsInUse = 0;
    std::vector<MemberNode> m_memberNodes;
    size_t m_memberNodesInUse = 0;
    DictionaryShapes m_shapes;
    StringCache m_strings;
    // The text of the string with escapes being scanned.
    std::vector<char16_t> m_text;
};
