#include "json/CJSONSerializer.h"

#include "foundation/GenericException.h"
#include "json/Utf8Codec.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
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

void appendLatin1(QString &out, const char *first, const char *last) {
    out.append(QLatin1StringView(first, last - first));
}

template <class Integer>
void appendInteger(QString &out, Integer value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    appendLatin1(out, buffer, result.ptr);
}

// Shortest round-trip text; the exponent never carries a plus sign, which the reader does
// not accept.
bool appendDouble(QString &out, double value) {
    if (std::isnan(value)) {
        return false;
    }
    if (std::isinf(value)) {
        out.append(value < 0 ? QLatin1StringView("-1e999") : QLatin1StringView("1e999"));
        return true;
    }
    char buffer[32];
    char *last = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    char *plus = std::find(buffer, last, '+');
    if (plus != last) {
        std::memmove(plus, plus + 1, size_t(last - plus - 1));
        --last;
    }
    appendLatin1(out, buffer, last);
    return true;
}

template <class Value>
const Value &held(const QVariant &object) {
    return *static_cast<const Value *>(object.constData());
}

bool isCharType(int typeId) { return typeId == QMetaType::Char || typeId == QMetaType::SChar; }

bool isNumberType(int typeId) {
    switch (typeId) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

}  // namespace

QString CJSONSerializer::serializeObject(const QVariant &object) const {
    QString out;
    appendObject(out, object, 0);
    return out;
}

QString CJSONSerializer::serializeNull(std::nullptr_t) const { return QStringLiteral("null"); }

QString CJSONSerializer::serializeNumber(const QVariant &number) const {
    QString out;
    return appendNumber(out, number) ? out : QString();
}

QString CJSONSerializer::serializeString(const QString &string) const {
    QString out;
    appendString(out, string);
    return out;
}

QString CJSONSerializer::serializeArray(const QVariantList &array) const {
    QString out;
    appendArray(out, array, 0);
    return out;
}

QString CJSONSerializer::serializeDictionary(const QVariantMap &dictionary) const {
    QString out;
    appendDictionary(out, dictionary, 0);
    return out;
}

void CJSONSerializer::appendObject(QString &out, const QVariant &object, int depth) {
    if (isNumberType(object.metaType().id())) {
        if (!appendNumber(out, object)) {
            raiseCouldNotSerialize(object);
        }
        return;
    }
    // The values are read where the variant holds them: no copy, no reference count touched.
    switch (object.metaType().id()) {
    case QMetaType::Nullptr:
        out.append(QLatin1StringView("null"));
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

bool CJSONSerializer::appendNumber(QString &out, const QVariant &number) {
    const int typeId = number.metaType().id();
    if (!isNumberType(typeId)) {
        return false;
    }
    if (typeId == QMetaType::Double) {
        return appendDouble(out, held<double>(number));
    }
    if (typeId == QMetaType::Bool || (isCharType(typeId) && (number.toInt() & ~1) == 0)) {
        out.append(number.toInt() ? QLatin1StringView("true") : QLatin1StringView("false"));
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

void CJSONSerializer::appendString(QString &out, const QString &string) {
    out.append(QLatin1Char('"'));
    const QChar *const units = string.constData();
    const qsizetype length = string.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const char escape = escapeOf(units[i].unicode());
        if (escape == 0) {
            continue;
        }
        out.append(units + runStart, i - runStart);
        const char pair[2] = {'\\', escape};
        appendLatin1(out, pair, pair + 2);
        runStart = i + 1;
    }
    out.append(units + runStart, length - runStart);
    out.append(QLatin1Char('"'));
}

void CJSONSerializer::appendData(QString &out, const QByteArray &data) {
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

void CJSONSerializer::appendArray(QString &out, const QVariantList &array, int depth) {
    checkDepth(depth);
    out.append(QLatin1Char('['));
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (i > 0) {
            out.append(QLatin1Char(','));
        }
        appendObject(out, array.at(i), depth + 1);
    }
    out.append(QLatin1Char(']'));
}

void CJSONSerializer::appendDictionary(QString &out, const QVariantMap &dictionary, int depth) {
    checkDepth(depth);
    out.append(QLatin1Char('{'));
    bool first = true;
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        if (!first) {
            out.append(QLatin1Char(','));
        }
        first = false;
        appendString(out, it.key());
        out.append(QLatin1Char(':'));
        appendObject(out, it.value(), depth + 1);
    }
    out.append(QLatin1Char('}'));
}
