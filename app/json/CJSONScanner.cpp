#include "json/CJSONScanner.h"

#include "json/Utf8Codec.h"

#include <utility>

const QString CJSONScanner::ErrorDomain = QStringLiteral("CJSONScannerErrorDomain");

namespace {

// By code, from -1 down. The texts are the ones callers have always been given and match,
// word for word: the one for -7 names '{' although an array starts with '['.
const char *const ErrorMessages[] = {
    "Could not scan dictionary. Dictionary that does not start with '{' character.",
    "Could not scan dictionary. Failed to scan a key.",
    "Could not scan dictionary. Key was not terminated with a ':' character.",
    "Could not scan dictionary. Failed to scan a value.",
    "Could not scan dictionary. Key value pairs not delimited with a ',' character.",
    "Could not scan dictionary. Dictionary not terminated by a '}' character.",
    "Could not scan array. Array not started by a '{' character.",
    "Could not scan array. Could not scan a value.",
    "Could not scan array. Array not terminated by a ']' character.",
    "Could not scan array. Array not terminated by a ']' character.",
    "Could not scan string constant. String not started by a '\"' character.",
    "Could not scan string constant. Unicode character could not be decoded.",
    "Could not scan string constant. Unknown escape code.",
    "Could not scan number constant.",
    "Could not scan string constant. String not terminated by a '\"' character.",
    "Could not scan string constant. String is not valid UTF-8.",
    "Could not scan container. Containers nested deeper than 1024 levels.",
};

CJSONScanner::ErrorCode codeOf(JSONStringReader::Failure failure) {
    switch (failure) {
    case JSONStringReader::Failure::NotTerminated:
        return CJSONScanner::StringNotTerminated;
    case JSONStringReader::Failure::NotUtf8:
        return CJSONScanner::StringNotUtf8;
    case JSONStringReader::Failure::UnknownEscape:
        return CJSONScanner::StringEscapeUnknown;
    case JSONStringReader::Failure::UnicodeEscapeInvalid:
        break;
    }
    return CJSONScanner::StringUnicodeEscapeInvalid;
}

}  // namespace

class CJSONScanner::NestingGuard {
public:
    explicit NestingGuard(int &depth) : m_depth(depth) { ++m_depth; }
    ~NestingGuard() { --m_depth; }
    NestingGuard(const NestingGuard &) = delete;
    NestingGuard &operator=(const NestingGuard &) = delete;

private:
    int &m_depth;
};

std::unique_ptr<CJSONScanner> CJSONScanner::scannerWithData(const QByteArray &data) {
    return makeScanner<CJSONScanner>(data);
}

void CJSONScanner::setData(const QByteArray &data) {
    m_builder.clear();
    CDataScanner::setData(Utf8Codec::utf8Form(data));
}

bool CJSONScanner::fail(quint64 location, ErrorCode code, Error *error) {
    setScanLocation(location);
    if (error) {
        *error =
            Error(ErrorDomain, code,
                  {{Error::LocalizedDescriptionKey, QString::fromUtf8(ErrorMessages[-code - 1])}});
    }
    return false;
}

// value: dictionary | array | string | number | true | false | null
bool CJSONScanner::scanJSONObject(QVariant *object, Error *error) {
    QVariant value = scanValue(error);
    const bool scanned = JSONValueBuilder::holdsValue(value);
    if (object) {
        *object = std::move(value);
    }
    return scanned;
}

QVariant CJSONScanner::scanValue(Error *error) {
    skipWhitespaceAfterSeparator();
    switch (currentCharacter()) {
    case u'{':
        return scanAs(&CJSONScanner::scanJSONDictionary, error);
    case u'[':
        return scanAs(&CJSONScanner::scanJSONArray, error);
    case u'"':
    case u'\'':
        return scanAs(&CJSONScanner::scanJSONStringConstant, error);
    case u'-':
    case u'0':
    case u'1':
    case u'2':
    case u'3':
    case u'4':
    case u'5':
    case u'6':
    case u'7':
    case u'8':
    case u'9':
        return scanNumberValue(error);
    case u't':
        return scanLiteral("true", JSONValueBuilder::boolValue(true));
    case u'f':
        return scanLiteral("false", JSONValueBuilder::boolValue(false));
    case u'n':
        return scanLiteral("null", JSONValueBuilder::nullValue());
    default:
        return {};
    }
}

template <class Value>
QVariant CJSONScanner::scanAs(bool (CJSONScanner::*scan)(Value *, Error *), Error *error) {
    // Qt's constructors only copy, and copying a string or a container changes its atomic
    // count twice: the variant is made empty and the value scanned into it. A new variant is
    // its value's only holder, so it is written in place as setValue() would. One variant
    // returned on every path, so that it is made where the caller wants it.
    QVariant variant{Value()};
    if (!(this->*scan)(static_cast<Value *>(const_cast<void *>(variant.constData())), error)) {
        variant.clear();
    }
    return variant;
}

QVariant CJSONScanner::scanNumberValue(Error *error) {
    double number = 0;
    return scanJSONNumberConstant(&number, error) ? QVariant(number) : QVariant();
}

// Matched exactly, in lower case; the byte after it is not looked at.
template <size_t Size>
QVariant CJSONScanner::scanLiteral(const char (&literal)[Size], const QVariant &literalValue) {
    return scanUTF8String(literal) ? literalValue : QVariant();
}

// dictionary: '{' [member (',' member)* [',']] '}'
bool CJSONScanner::scanJSONDictionary(QVariantMap *dictionary, Error *error) {
    const quint64 start = scanLocation();
    if (!scanCharacter(u'{')) {
        return fail(start, DictionaryNotStarted, error);
    }
    if (m_depth >= MaximumNestingDepth) {
        return fail(start, NestingTooDeep, error);
    }
    NestingGuard guard(m_depth);
    JSONValueBuilder::Dictionary members(m_builder, m_depth);
    while (currentCharacter() != u'}') {
        skipWhitespace();
        if (currentCharacter() == u'}') {
            break;
        }
        if (const std::optional<ErrorCode> code = scanMember(members)) {
            return fail(start, *code, error);
        }
        skipWhitespace();
        if (scanCharacter(u',')) {
            skipWhitespace();
        } else if (currentCharacter() != u'}') {
            return fail(start, DictionaryCommaMissing, error);
        }
    }
    if (!scanCharacter(u'}')) {
        return fail(start, DictionaryNotTerminated, error);
    }
    if (dictionary) {
        *dictionary = members.take();
    }
    return true;
}

// member: string ':' value
std::optional<CJSONScanner::ErrorCode> CJSONScanner::scanMember(
    JSONValueBuilder::Dictionary &members) {
    const char *const keyStart = current();
    // The key the dictionary expects is passed over without being made again.
    const qsizetype expected = members.expectedKeyAhead(current(), end());
    QString key;
    if (expected > 0) {
        advance(expected);
    } else if (!scanJSONStringConstant(&key)) {
        return DictionaryKeyFailed;
    }
    const char *const keyEnd = current();
    skipWhitespace();
    if (!scanCharacter(u':')) {
        return DictionaryColonMissing;
    }
    const auto value = [this] { return scanValue(nullptr); };
    const bool placed = expected > 0 ? members.emplaceExpected(value)
                                     : members.insert(std::move(key), keyStart, keyEnd, value());
    return placed ? std::nullopt : std::optional(DictionaryValueFailed);
}

// array: '[' [value (',' value)* [',']] ']'
bool CJSONScanner::scanJSONArray(QVariantList *array, Error *error) {
    const quint64 start = scanLocation();
    if (!scanCharacter(u'[')) {
        return fail(start, ArrayNotStarted, error);
    }
    if (m_depth >= MaximumNestingDepth) {
        return fail(start, NestingTooDeep, error);
    }
    NestingGuard guard(m_depth);
    JSONValueBuilder::Array elements(m_builder);
    skipWhitespace();
    while (currentCharacter() != u']') {
        if (!scanElement(elements)) {
            return fail(start, ArrayValueFailed, error);
        }
        skipWhitespace();
        const bool comma = scanCharacter(u',');
        skipWhitespace();
        if (!comma && currentCharacter() != u']') {
            return fail(start, ArrayCommaMissing, error);
        }
    }
    skipWhitespace();
    if (!scanCharacter(u']')) {
        return fail(start, ArrayNotTerminated, error);
    }
    if (array) {
        *array = elements.take();
    }
    return true;
}

bool CJSONScanner::scanElement(JSONValueBuilder::Array &elements) {
    skipWhitespace();
    const char16_t first = currentCharacter();
    const auto value = [this] { return scanValue(nullptr); };
    // A container stacks elements of its own, so it is made apart.
    return first == u'[' || first == u'{' ? elements.append(value()) : elements.emplace(value);
}

// string: '"' (plain bytes | escape)* '"', after white space
bool CJSONScanner::scanJSONStringConstant(QString *string, Error *error) {
    const quint64 start = scanLocation();
    skipWhitespace();
    if (!scanCharacter(u'"')) {
        return fail(start, StringNotStarted, error);
    }
    const char *position = current();
    if (const auto failure = m_strings.read(position, end(), string)) {
        return fail(start, codeOf(*failure), error);
    }
    advance(position - current());
    return true;
}

bool CJSONScanner::scanNotQuoteCharactersIntoString(QString *string) {
    bool ascii;
    const qsizetype length = JSONStringReader::plainRunLength(current(), end(), &ascii);
    if (length == 0) {
        return false;
    }
    if (string) {
        *string = Utf8Codec::decode(current(), length);
    }
    advance(length);
    return true;
}
