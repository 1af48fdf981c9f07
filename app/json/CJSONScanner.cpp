#include "json/CJSONScanner.h"

#include "json/ByteWord.h"
#include "json/Utf8Codec.h"

#include <bit>
#include <cstdint>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

const QString CJSONScanner::ErrorDomain = QStringLiteral("CJSONScannerErrorDomain");

namespace {

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

int hexDigitValue(char16_t character) {
    if (character >= u'0' && character <= u'9') {
        return character - u'0';
    }
    if (character >= u'a' && character <= u'f') {
        return character - u'a' + 10;
    }
    if (character >= u'A' && character <= u'F') {
        return character - u'A' + 10;
    }
    return -1;
}

// The unit a one-character escape stands for, or 0 when there is no such escape.
char16_t escapedUnit(char16_t escaped) {
    switch (escaped) {
    case u'"':
    case u'\\':
    case u'/':
        return escaped;
    case u'b':
        return u'\b';
    case u'f':
        return u'\f';
    case u'n':
        return u'\n';
    case u'r':
        return u'\r';
    case u't':
        return u'\t';
    default:
        return 0;
    }
}

// The UTF-8 form of the text: UTF-16 and UTF-32 of either byte order are recognised by
// which of the first four bytes are zero. A null array when the detected form does not
// decode.
QByteArray utf8Form(const QByteArray &data) {
    if (data.size() < 4) {
        return data;
    }
    const int zeroPattern =
        (data[0] == 0) << 3 | (data[1] == 0) << 2 | (data[2] == 0) << 1 | (data[3] == 0);
    std::optional<QByteArray> converted;
    switch (zeroPattern) {
    case 0b1110:
        converted = Utf8Codec::fromUtf32(data, Utf8Codec::ByteOrder::BigEndian);
        break;
    case 0b1010:
        converted = Utf8Codec::fromUtf16(data, Utf8Codec::ByteOrder::BigEndian);
        break;
    case 0b0111:
        converted = Utf8Codec::fromUtf32(data, Utf8Codec::ByteOrder::LittleEndian);
        break;
    case 0b0101:
        converted = Utf8Codec::fromUtf16(data, Utf8Codec::ByteOrder::LittleEndian);
        break;
    default:
        return data;
    }
    return converted.value_or(QByteArray());
}

std::u16string_view units(const QString &string) {
    return {reinterpret_cast<const char16_t *>(string.constData()), size_t(string.size())};
}

// Whether the variant holds a value, as isValid() tells, read where the variant keeps its
// type: isValid() is a call into Qt, made here for every value read.
bool holdsValue(const QVariant &variant) { return variant.data_ptr().typeInterface() != nullptr; }

// The literals' values, made once: a copy costs less than making one.
const QVariant &nullValue() {
    static const QVariant value = QVariant::fromValue(nullptr);
    return value;
}

const QVariant &boolValue(bool truth) {
    static const QVariant values[] = {QVariant(false), QVariant(true)};
    return values[truth];
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

// The elements of one array. They are stacked on m_elements, so that a small array is made
// with one allocation of its exact size. The stack never shrinks, and its places past those
// in use hold nothing: a value can be made right in one, and an array that fails lets go of
// what it left. An array that grows long moves to a list of its own, which grows in place:
// no copy of a long array ever holds its elements twice.
class CJSONScanner::ArrayElements {
public:
    static constexpr size_t LongArray = 4096;

    ArrayElements(std::vector<QVariant> &stack, size_t &inUse)
        : m_stack(stack), m_inUse(inUse), m_base(inUse) {}
    ~ArrayElements() {
        for (size_t i = m_base; i < m_inUse; ++i) {
            m_stack[i] = QVariant();
        }
        m_inUse = m_base;
    }
    ArrayElements(const ArrayElements &) = delete;
    ArrayElements &operator=(const ArrayElements &) = delete;

    // Where the next element is to be made: a place that holds nothing, so that a variant
    // may be made over it without destroying it first; null once the array is long. It
    // moves when the stack grows, so no container may be scanned into it.
    QVariant *nextPlace() {
        return m_inUse < m_stack.size() && m_long.isEmpty() ? &m_stack[m_inUse++] : newPlace();
    }
    // To be called once a valid element is in the place nextPlace() gave.
    void placed() {
        if (m_inUse - m_base == LongArray) {
            moveToLong();
        }
    }
    void append(QVariant &&value) {
        if (!m_long.isEmpty()) {
            m_long.append(std::move(value));
            return;
        }
        nextPlace()->swap(value);
        placed();
    }
    QVariantList take() {
        if (!m_long.isEmpty()) {
            return std::move(m_long);
        }
        QVariantList list(stacked(), inUseEnd());
        m_inUse = m_base;
        return list;
    }

private:
    // Kept apart, so that the common path of nextPlace() stays small enough to inline.
    [[gnu::noinline]] QVariant *newPlace() {
        if (!m_long.isEmpty()) {
            return nullptr;
        }
        m_stack.emplace_back();
        return &m_stack[m_inUse++];
    }
    [[gnu::noinline]] void moveToLong() {
        m_long = QVariantList(stacked(), inUseEnd());
        m_inUse = m_base;
    }
    std::move_iterator<std::vector<QVariant>::iterator> stacked() const {
        return std::make_move_iterator(m_stack.begin() + std::ptrdiff_t(m_base));
    }
    std::move_iterator<std::vector<QVariant>::iterator> inUseEnd() const {
        return std::make_move_iterator(m_stack.begin() + std::ptrdiff_t(m_inUse));
    }

    std::vector<QVariant> &m_stack;
    size_t &m_inUse;
    size_t m_base;
    QVariantList m_long;
};

// The members of one dictionary as they go into its map. A dictionary whose first key
// starts a shape learnt from an earlier one is read along it: its map starts as a copy of
// the shape's, each value goes into its key's node, and the key after the last one read
// is expected next. At the end the keys it did not have are taken out; keys the shape
// lacks go in by search. A dictionary without a shape goes into its map key by key, and
// the first one of a kind is learnt as its shape.
class CJSONScanner::DictionaryMembers {
public:
    DictionaryMembers(DictionaryShapes &shapes, std::vector<MemberNode> &nodes, size_t &inUse)
        : m_shapes(shapes), m_nodes(nodes), m_inUse(inUse), m_base(inUse) {}
    ~DictionaryMembers() { m_inUse = m_base; }
    DictionaryMembers(const DictionaryMembers &) = delete;
    DictionaryMembers &operator=(const DictionaryMembers &) = delete;

    // The key the shape expects next, or null; a key read already is not expected again.
    const DictionaryShapes::Key *expectedKey() const {
        return m_shape && m_next < m_shape->keys.size() && (m_read >> m_next & 1) == 0
                   ? &m_shape->keys[m_next]
                   : nullptr;
    }
    // Where the value of the key expectedKey() gave is to be made: its node's value, which
    // holds nothing, so that the caller may make a variant over it without destroying it
    // first (destroying a variant that holds nothing has no effect).
    QVariant *takeExpectedPlace() {
        const size_t index = m_next;
        m_read |= uint64_t(1) << index;
        m_next = index + 1;
        return &m_nodes[m_base + index].node->second;
    }
    // keyBytes: where the key stood in the text as its own bytes, or null. A repeated key
    // takes the later value.
    void insert(QString &&key, const char *keyBytes, QVariant &&value) {
        if (!m_started) {
            start(key);
        }
        if (m_shape) {
            const qsizetype index = m_shape->indexOf(key, m_next);
            if (index >= 0) {
                placeInShape(size_t(index), std::move(value));
                return;
            }
        }
        const MapNode node =
            placeBySearch(m_shape ? m_extra : m_map, std::move(key), std::move(value));
        if (m_learning) {
            *takeNodes(1) = {node, keyBytes};
        }
    }
    QVariantMap take() {
        if (m_shape) {
            dropKeysNotRead();
            if (!m_extra.empty()) {
                m_map.merge(m_extra);
            }
        } else if (m_learning) {
            learn();
        }
        return m_map.empty() ? QVariantMap() : QVariantMap(std::move(m_map));
    }

    bool started() const { return m_started; }
    // Reads the dictionary along the shape, whose first key is to come first.
    void startAlong(DictionaryShapes::Shape *shape) {
        m_started = true;
        m_shape = shape;
        // Made by copy construction: assigning would look for nodes to reuse at every one.
        m_map = std::map<QString, QVariant>(m_shape->members());
        MemberNode *const nodes = takeNodes(m_shape->keys.size());
        auto node = m_map.begin();
        for (const int index : m_shape->order) {
            nodes[index].node = node++;
        }
    }

private:
    // Puts count more nodes in use and returns the first. The stack never shrinks, so that
    // the places a dictionary takes are not cleared first, only written.
    MemberNode *takeNodes(size_t count) {
        const size_t first = m_inUse;
        m_inUse += count;
        if (m_nodes.size() < m_inUse) {
            m_nodes.resize(m_inUse);
        }
        return &m_nodes[first];
    }
    void start(const QString &firstKey) {
        if (DictionaryShapes::Shape *const shape = m_shapes.find(firstKey)) {
            startAlong(shape);
            return;
        }
        m_started = true;
        m_learning = m_shapes.hasRoomFor(firstKey);
    }
    void placeInShape(size_t index, QVariant &&value) {
        // Swapped: the node holds an invalid value, which the caller's variant takes away.
        m_nodes[m_base + index].node->second.swap(value);
        m_read |= uint64_t(1) << index;
        m_next = index + 1;
    }
    void dropKeysNotRead() {
        const size_t count = m_shape->keys.size();
        const uint64_t all = count == 64 ? ~uint64_t(0) : (uint64_t(1) << count) - 1;
        for (uint64_t notRead = all & ~m_read; notRead != 0; notRead &= notRead - 1) {
            m_map.erase(m_nodes[m_base + size_t(std::countr_zero(notRead))].node);
        }
    }
    static MapNode placeBySearch(std::map<QString, QVariant> &map, QString &&key,
                                 QVariant &&value) {
        // The node is made for the key alone: a repeated key drops it and keeps the value.
        // Keys in ascending order, as many documents write them, go in at the end.
        const auto node =
            map.empty() || units(map.rbegin()->first) < units(key)
                ? map.emplace_hint(map.end(), std::piecewise_construct,
                                   std::forward_as_tuple(std::move(key)), std::forward_as_tuple())
                : map.emplace(std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                              std::forward_as_tuple())
                      .first;
        node->second.swap(value);
        return node;
    }
    void learn() {
        const size_t count = m_inUse - m_base;
        // A repeated key has no place of its own, so such a dictionary is no shape.
        if (count > DictionaryShapes::MaximumKeys || m_map.size() != count) {
            return;
        }
        DictionaryShapes::Shape shape;
        shape.keys.reserve(count);
        shape.order.reserve(count);
        for (size_t i = m_base; i < m_inUse; ++i) {
            shape.keys.push_back({m_nodes[i].node->first, m_nodes[i].keyBytes});
        }
        for (auto node = m_map.begin(); node != m_map.end(); ++node) {
            shape.order.push_back(indexOf(node));
        }
        m_shapes.learn(std::move(shape));
    }
    int indexOf(MapNode node) const {
        for (size_t i = m_base; i < m_inUse; ++i) {
            if (m_nodes[i].node == node) {
                return int(i - m_base);
            }
        }
        return -1;
    }

    DictionaryShapes &m_shapes;
    // Along a shape, the node of each of its keys in the shape's order; while learning, the
    // node of each member in the text's order.
    std::vector<MemberNode> &m_nodes;
    size_t &m_inUse;
    size_t m_base;
    std::map<QString, QVariant> m_map;
    // Along a shape, the members of keys it lacks.
    std::map<QString, QVariant> m_extra;
    DictionaryShapes::Shape *m_shape = nullptr;
    // The index in the shape after the key read last, and one bit for each key read.
    static_assert(DictionaryShapes::MaximumKeys <= 64);
    size_t m_next = 0;
    uint64_t m_read = 0;
    bool m_started = false;
    bool m_learning = false;
};

std::unique_ptr<CJSONScanner> CJSONScanner::scannerWithData(const QByteArray &data) {
    return makeScanner<CJSONScanner>(data);
}

void CJSONScanner::setData(const QByteArray &data) {
    // Shapes point into the text they were learnt from.
    m_shapes.clear();
    CDataScanner::setData(utf8Form(data));
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

bool CJSONScanner::scanJSONObject(QVariant *object, Error *error) {
    QVariant value = scanValue(error);
    const bool scanned = holdsValue(value);
    if (object) {
        *object = std::move(value);
    }
    return scanned;
}

template <size_t Size>
QVariant CJSONScanner::scanLiteral(const char (&literal)[Size], const QVariant &literalValue) {
    return scanUTF8String(literal) ? literalValue : QVariant();
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
        return scanLiteral("true", boolValue(true));
    case u'f':
        return scanLiteral("false", boolValue(false));
    case u'n':
        return scanLiteral("null", nullValue());
    default:
        return {};
    }
}

bool CJSONScanner::scanJSONDictionary(QVariantMap *dictionary, Error *error) {
    const quint64 start = scanLocation();
    if (!scanCharacter(u'{')) {
        return fail(start, DictionaryNotStarted, error);
    }
    if (m_depth >= MaximumNestingDepth) {
        return fail(start, NestingTooDeep, error);
    }
    NestingGuard guard(m_depth);
    DictionaryMembers members(m_shapes, m_memberNodes, m_memberNodesInUse);
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

std::optional<CJSONScanner::ErrorCode> CJSONScanner::scanMember(DictionaryMembers &members) {
    const char *const keyStart = current();
    bool expected = false;
    if (!members.started()) {
        if (DictionaryShapes::Shape *const shape = shapeOfKeyAhead()) {
            members.startAlong(shape);
            // The shape was found by its first key, which stands ahead in its own bytes.
            advance(shape->keys.front().text.size() + 2);
            expected = true;
        }
    }
    QString key;
    expected = expected || scanExpectedKey(members.expectedKey());
    if (!expected && !scanJSONStringConstant(&key)) {
        return DictionaryKeyFailed;
    }
    const char *const keyEnd = current();
    skipWhitespace();
    if (!scanCharacter(u':')) {
        return DictionaryColonMissing;
    }
    if (expected) {
        // Made in its node: no variant to move and destroy.
        QVariant *const place = members.takeExpectedPlace();
        new (place) QVariant(scanValue(nullptr));
        return holdsValue(*place) ? std::nullopt : std::optional(DictionaryValueFailed);
    }
    QVariant value = scanValue(nullptr);
    if (!holdsValue(value)) {
        return DictionaryValueFailed;
    }
    // Two quotes around one byte per code unit: the key stood as its own bytes.
    const bool plain = *keyStart == '"' && key.size() + 2 == keyEnd - keyStart;
    members.insert(std::move(key), plain ? keyStart + 1 : nullptr, std::move(value));
    return std::nullopt;
}

DictionaryShapes::Shape *CJSONScanner::shapeOfKeyAhead() {
    // Records in a list are mostly of one kind: the shape last found at this depth is
    // tried first.
    DictionaryShapes::Shape *&last = m_shapes.lastFoundAt(m_depth);
    if (last && isKeyAhead(last->keys.front())) {
        return last;
    }
    if (isAtEnd() || *current() != '"') {
        return nullptr;
    }
    const char *const key = current() + 1;
    bool ascii;
    const qsizetype length = notQuoteRunLength(key, &ascii);
    DictionaryShapes::Shape *const shape = ascii && key + length < end() && key[length] == '"'
                                               ? m_shapes.findPlain(key, length, end())
                                               : nullptr;
    if (shape) {
        last = shape;
    }
    return shape;
}

inline bool CJSONScanner::isKeyAhead(const DictionaryShapes::Key &key) const {
    const qsizetype length = key.text.size();
    return key.bytes && end() - current() >= length + 2 && current()[0] == '"' &&
           current()[length + 1] == '"' &&
           ByteWord::equalIn(current() + 1, key.bytes, length, end());
}

bool CJSONScanner::scanExpectedKey(const DictionaryShapes::Key *expected) {
    if (!expected || !isKeyAhead(*expected)) {
        return false;
    }
    advance(expected->text.size() + 2);
    return true;
}

bool CJSONScanner::scanElement(ArrayElements &elements) {
    skipWhitespace();
    const char16_t first = currentCharacter();
    // A container may stack elements of its own and so move the stack: it is made apart and
    // swapped in. Any other value is made in its place.
    QVariant *const place = first == u'[' || first == u'{' ? nullptr : elements.nextPlace();
    if (!place) {
        QVariant value = scanValue(nullptr);
        if (!holdsValue(value)) {
            return false;
        }
        elements.append(std::move(value));
        return true;
    }
    new (place) QVariant(scanValue(nullptr));
    if (!holdsValue(*place)) {
        return false;
    }
    elements.placed();
    return true;
}

bool CJSONScanner::scanJSONArray(QVariantList *array, Error *error) {
    const quint64 start = scanLocation();
    if (!scanCharacter(u'[')) {
        return fail(start, ArrayNotStarted, error);
    }
    if (m_depth >= MaximumNestingDepth) {
        return fail(start, NestingTooDeep, error);
    }
    NestingGuard guard(m_depth);
    ArrayElements elements(m_elements, m_elementsInUse);
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

bool CJSONScanner::scanJSONStringConstant(QString *string, Error *error) {
    const quint64 start = scanLocation();
    skipWhitespace();
    if (!scanCharacter(u'"')) {
        return fail(start, StringNotStarted, error);
    }
    bool ascii;
    const qsizetype length = notQuoteRunLength(current(), &ascii);
    if (isClosingQuote(length)) {
        QString text = plainText(length, ascii);
        if (text.isNull()) {
            return fail(start, StringNotUtf8, error);
        }
        advance(length + 1);
        if (string) {
            *string = std::move(text);
        }
        return true;
    }
    if (const std::optional<ErrorCode> code = scanEscapedText()) {
        return fail(start, *code, error);
    }
    if (string) {
        *string = QString(reinterpret_cast<const QChar *>(m_text.data()), qsizetype(m_text.size()));
    }
    return true;
}

QString CJSONScanner::plainText(qsizetype length, bool ascii) {
    // A short ASCII text is shared with its earlier occurrences, any other made in one
    // piece at its size.
    if (length == 0) {
        return QStringLiteral("");
    }
    if (!ascii) {
        return Utf8Codec::decode(current(), length);
    }
    return length <= StringCache::MaximumLength ? m_strings.text(current(), length)
                                                : QString::fromLatin1(current(), length);
}

std::optional<CJSONScanner::ErrorCode> CJSONScanner::scanEscapedText() {
    // Built in m_text, whose room stays from string to string, and made once at the end:
    // appending to a string would grow it again at every escape.
    m_text.clear();
    while (!scanCharacter(u'"')) {
        if (!appendNotQuoteRun()) {
            return StringNotUtf8;
        }
        if (scanCharacter(u'\\')) {
            if (const std::optional<ErrorCode> code = appendEscape()) {
                return code;
            }
        } else if (isAtEnd()) {
            return StringNotTerminated;
        }
    }
    return std::nullopt;
}

std::optional<CJSONScanner::ErrorCode> CJSONScanner::appendEscape() {
    if (isAtEnd()) {
        return StringNotTerminated;
    }
    const char16_t escaped = scanCharacter();
    if (escaped == u'u') {
        return appendUnicodeEscape();
    }
    const char16_t unit = escapedUnit(escaped);
    if (unit == 0) {
        return StringEscapeUnknown;
    }
    m_text.push_back(unit);
    return std::nullopt;
}

std::optional<CJSONScanner::ErrorCode> CJSONScanner::appendUnicodeEscape() {
    char16_t unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexDigitValue(scanCharacter());
        if (digit < 0) {
            return StringUnicodeEscapeInvalid;
        }
        unit = char16_t(unit << 4 | digit);
    }
    // One code unit as written: surrogates are neither paired nor checked.
    m_text.push_back(unit);
    return std::nullopt;
}

qsizetype CJSONScanner::notQuoteRunLength(const char *from, bool *ascii) const {
    const char *position = from;
    uint64_t highBits = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time while there are as many; the words below finish the text.
    for (; end() - position >= 16; position += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(position));
        const unsigned stops =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')))));
        const unsigned high = unsigned(_mm_movemask_epi8(bytes));
        if (stops != 0) {
            const int before = std::countr_zero(stops);
            *ascii = highBits == 0 && (high & ((1u << before) - 1)) == 0;
            return position + before - from;
        }
        highBits |= high != 0 ? ByteWord::HighBits : 0;
    }
#endif
    for (; end() - position >= 8; position += 8) {
        const uint64_t eight = ByteWord::load(position);
        const uint64_t stops = ByteWord::equalBytes(eight, '"') | ByteWord::equalBytes(eight, '\\');
        if (stops != 0) {
            const int before = ByteWord::firstMarked(stops);
            *ascii = ((highBits | ByteWord::firstBytes(eight, before)) & ByteWord::HighBits) == 0;
            return position + before - from;
        }
        highBits |= eight;
    }
    while (position < end() && *position != '"' && *position != '\\') {
        highBits |= uchar(*position);
        ++position;
    }
    *ascii = (highBits & ByteWord::HighBits) == 0;
    return position - from;
}

bool CJSONScanner::appendNotQuoteRun() {
    bool ascii;
    const qsizetype length = notQuoteRunLength(current(), &ascii);
    if (length == 0) {
        return true;
    }
    // Never more UTF-16 units than UTF-8 bytes.
    const size_t size = m_text.size();
    m_text.resize(size + size_t(length));
    const char16_t *const last = Utf8Codec::decodeInto(m_text.data() + size, current(), length);
    if (!last) {
        return false;
    }
    m_text.resize(size_t(last - m_text.data()));
    advance(length);
    return true;
}

bool CJSONScanner::scanNotQuoteCharactersIntoString(QString *string) {
    bool ascii;
    const qsizetype length = notQuoteRunLength(current(), &ascii);
    if (length == 0) {
        return false;
    }
    if (string) {
        *string = Utf8Codec::decode(current(), length);
    }
    advance(length);
    return true;
}
