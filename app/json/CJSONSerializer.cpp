#include "json/CJSONSerializer.h"

#include "foundation/GenericException.h"
#include "json/NumberType.h"
#include "json/Utf8Codec.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The two-character escape of each ASCII character that needs one, or 0.
constexpr std::array<char, 128> escapeTable() {
    std::array<char, 128> table{};
    table['\\'] = '\\';
    table['"'] = '"';
    table['/'] = '/';
    table['\b'] = 'b';
    table['\f'] = 'f';
    table['\n'] = 'n';
    table['\r'] = 'r';
    table['\t'] = 't';
    return table;
}
constexpr std::array<char, 128> Escapes = escapeTable();

char escapeOf(char16_t unit) { return unit < 128 ? Escapes[unit] : 0; }

// Name of the value's type for error reasons, "(null)" when it holds nothing.
QString typeName(const QVariant &object) {
    const char *name = object.metaType().name();
    return name ? QString::fromLatin1(name) : QStringLiteral("(null)");
}

QString describe(const QVariant &object) {
    if (object.metaType().id() == QMetaType::QByteArray) {
        return QLatin1Char('<') + QString::fromLatin1(object.toByteArray().toHex()) +
               QLatin1Char('>');
    }
    return object.toString();
}

[[noreturn]] void raiseCouldNotSerialize(const QVariant &object) {
    throw GenericException(QStringLiteral("Could not serialize object '%1'").arg(describe(object)));
}

template <class Integer>
void appendInteger(TextBuilder &out, Integer value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.appendNumberText(buffer, size_t(result.ptr - buffer.data()));
}

// Shortest round-trip text. An integer below 2^53 whose last five digits are not all zero
// has no shorter scientific form, so its text is its digits, found without the general
// search.
char *shortestText(char *first, char *last, double value) {
    constexpr double ExactIntegers = 9007199254740992.0;
    if (value > -ExactIntegers && value < ExactIntegers) {
        const auto integer = static_cast<int64_t>(value);
        if (double(integer) == value && integer % 100000 != 0) {
            return std::to_chars(first, last, integer).ptr;
        }
    }
    return std::to_chars(first, last, value).ptr;
}

// The exponent never carries a plus sign, which the reader does not accept.
bool appendDouble(TextBuilder &out, double value) {
    if (std::isnan(value)) {
        return false;
    }
    if (std::isinf(value)) {
        out.appendLatin1(value < 0 ? "-1e999" : "1e999");
        return true;
    }
    std::array<char, 32> buffer{};
    char *last = shortestText(buffer.data(), buffer.data() + buffer.size(), value);
    // An exponent has two or three digits: only there, near the end, can a plus stand.
    const ptrdiff_t length = last - buffer.data();
    char *const plus = length >= 4 && last[-3] == '+'   ? last - 3
                       : length >= 5 && last[-4] == '+' ? last - 4
                                                        : last;
    if (plus != last) {
        std::memmove(plus, plus + 1, size_t(last - plus - 1));
        --last;
    }
    out.appendNumberText(buffer, size_t(last - buffer.data()));
    return true;
}

// Eight UTF-16 units, compared all at once.
using EightUnits = uint16_t __attribute__((vector_size(16)));

bool anyNeedsEscape(const char16_t *units) {
    EightUnits eight;
    std::memcpy(&eight, units, sizeof eight);
    // \b, \t, \n, \f and \r lie in 8 to 13, where only \v (11) is written as it is.
    const EightUnits controlOffset = eight - 8;
    const auto marks =
        (eight == '\\') | (eight == '"') | (eight == '/') | ((controlOffset <= 5) & (eight != 11));
    uint64_t halves[2];
    std::memcpy(halves, &marks, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

char16_t *writeEscaped(char16_t *out, const char16_t *unit, const char16_t *end) {
    for (; unit < end; ++unit) {
        const char escape = escapeOf(*unit);
        if (escape == 0) {
            *out++ = *unit;
        } else {
            *out++ = u'\\';
            *out++ = char16_t(escape);
        }
    }
    return out;
}

template <class Value>
const Value &held(const QVariant &object) {
    return *static_cast<const Value *>(object.constData());
}

bool isCharType(int typeId) { return typeId == QMetaType::Char || typeId == QMetaType::SChar; }

}  // namespace

QString CJSONSerializer::serializeObject(const QVariant &object) const {
    TextBuilder out;
    appendObject(out, object, 0);
    return out.take();
}

QString CJSONSerializer::serializeNull(std::nullptr_t) const { return QStringLiteral("null"); }

QString CJSONSerializer::serializeNumber(const QVariant &number) const {
    TextBuilder out;
    return appendNumber(out, number) ? out.take() : QString();
}

QString CJSONSerializer::serializeString(const QString &string) const {
    TextBuilder out;
    appendString(out, string);
    return out.take();
}

QString CJSONSerializer::serializeArray(const QVariantList &array) const {
    TextBuilder out;
    appendArray(out, array, 0);
    return out.take();
}

QString CJSONSerializer::serializeDictionary(const QVariantMap &dictionary) const {
    TextBuilder out;
    appendDictionary(out, dictionary, 0);
    return out.take();
}

void CJSONSerializer::appendObject(TextBuilder &out, const QVariant &object, int depth) {
    const int typeId = object.metaType().id();
    if (isNumberType(typeId)) {
        // A double, the number a reader makes, without a second look at the type.
        const bool written = typeId == QMetaType::Double ? appendDouble(out, held<double>(object))
                                                         : appendNumber(out, object);
        if (!written) {
            raiseCouldNotSerialize(object);
        }
        return;
    }
    // The values are read where the variant holds them: no copy, no reference count touched.
    switch (typeId) {
    case QMetaType::Nullptr:
        out.appendLatin1("null");
        return;
    case QMetaType::QString:
        appendString(out, held<QString>(object));
        return;
    case QMetaType::QVariantList:
        appendArray(out, held<QVariantList>(object), depth);
        return;
    case QMetaType::QVariantMap:
        appendDictionary(out, held<QVariantMap>(object), depth);
        return;
    case QMetaType::QByteArray:
        appendData(out, held<QByteArray>(object));
        return;
    default:
        throw GenericException(
            QStringLiteral("Cannot serialize data of type '%1'").arg(typeName(object)));
    }
}

bool CJSONSerializer::appendNumber(TextBuilder &out, const QVariant &number) {
    const int typeId = number.metaType().id();
    if (!isNumberType(typeId)) {
        return false;
    }
    if (typeId == QMetaType::Double) {
        return appendDouble(out, held<double>(number));
    }
    if (typeId == QMetaType::Bool || (isCharType(typeId) && (number.toInt() & ~1) == 0)) {
        out.appendLatin1(number.toInt() ? "true" : "false");
        return true;
    }
    switch (typeId) {
    case QMetaType::Float:
        return appendDouble(out, number.toDouble());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        appendInteger(out, number.toULongLong());
        return true;
    default:
        appendInteger(out, number.toLongLong());
        return true;
    }
}

void CJSONSerializer::appendString(TextBuilder &out, const QString &string) {
    const auto *unit = reinterpret_cast<const char16_t *>(string.constData());
    const char16_t *const end = unit + string.size();
    // Room for every unit escaped, and the quotes.
    char16_t *write = out.reserve(2 * string.size() + 2);
    *write++ = u'"';
    for (; end - unit >= 8; unit += 8) {
        if (anyNeedsEscape(unit)) {
            write = writeEscaped(write, unit, unit + 8);
        } else {
            std::memcpy(write, unit, 8 * sizeof(char16_t));
            write += 8;
        }
    }
    write = writeEscaped(write, unit, end);
    *write++ = u'"';
    out.commit(write);
}

void CJSONSerializer::appendData(TextBuilder &out, const QByteArray &data) {
    const QString text = Utf8Codec::decode(data.constData(), data.size());
    if (text.isNull()) {
        raiseCouldNotSerialize(QVariant(data));
    }
    appendString(out, text);
}

void CJSONSerializer::checkDepth(int depth) {
    if (depth >= MaximumNestingDepth) {
        throw GenericException(QStringLiteral("Cannot serialize data nested deeper than %1 levels")
                                   .arg(MaximumNestingDepth));
    }
}

void CJSONSerializer::appendArray(TextBuilder &out, const QVariantList &array, int depth) {
    checkDepth(depth);
    out.append(u'[');
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (i > 0) {
            out.append(u',');
        }
        appendObject(out, array.at(i), depth + 1);
    }
    out.append(u']');
}

void CJSONSerializer::appendDictionary(TextBuilder &out, const QVariantMap &dictionary, int depth) {
    checkDepth(depth);
    out.append(u'{');
    bool first = true;
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        if (!first) {
            out.append(u',');
        }
        first = false;
        appendString(out, it.key());
        out.append(u':');
        appendObject(out, it.value(), depth + 1);
    }
    out.append(u'}');
}
