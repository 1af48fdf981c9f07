#include "foundation/GenericException.h"
#include "json/CJSONDeserializer.h"
#include "json/CJSONSerializer.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const CJSONSerializer serializer = CJSONSerializer::serializer();

QString write(const QVariant &value) { return serializer.serializeObject(value); }

QString reasonOf(const QVariant &value) {
    try {
        write(value);
    } catch (const GenericException &e) {
        EXPECT_EQ(e.name(), QStringLiteral("NSGenericException"));
        return e.reason();
    }
    return {};
}

TEST(CJSONSerializer, Scalars) {
    const std::pair<QVariant, const char *> cases[] = {
        {QVariant::fromValue(nullptr), "null"},
        {true, "true"},
        {false, "false"},
        {2, "2"},
        {QVariant::fromValue(qint32(1)), "1"},
        {QVariant::fromValue(qint8(1)), "true"},
        {QVariant::fromValue(qint8(0)), "false"},
        {QVariant::fromValue(qint8(5)), "5"},
        {QVariant::fromValue(std::numeric_limits<qint64>::max()), "9223372036854775807"},
        {1500.0, "1500"},
        {0.1, "0.1"},
        {-0.0, "-0"},
        {1e21, "1e21"},
        {123450.0, "123450"},
        {-4503599627370495.0, "-4503599627370495"},
        {100000.0, "1e05"},
        {-12000000.0, "-1.2e07"},
        {1e-7, "1e-07"},
        {INFINITY, "1e999"},
        {-INFINITY, "-1e999"},
        // The longest texts of each kind.
        {-2.2250738585072014e-308, "-2.2250738585072014e-308"},
        {QVariant::fromValue(std::numeric_limits<qint64>::min()), "-9223372036854775808"},
        {QVariant::fromValue(std::numeric_limits<quint64>::max()), "18446744073709551615"},
        {QString(), "\"\""},
    };
    for (const auto &[value, text] : cases) {
        EXPECT_EQ(write(value), QString::fromUtf8(text)) << text;
    }
}

TEST(CJSONSerializer, StringEscapes) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("a\"b/c"), QStringLiteral("\"a\\\"b\\/c\"")},
        {QStringLiteral("\\"), QStringLiteral("\"\\\\\"")},
        {QStringLiteral("x\ny\tz\r\b\f"), QStringLiteral("\"x\\ny\\tz\\r\\b\\f\"")},
        {QStringLiteral("\u0001\u00E9"), QStringLiteral("\"\u0001\u00E9\"")},
        {QStringLiteral("\v\u00E9abcdefghijk/lmnop\\q\n"),
         QStringLiteral("\"\v\u00E9abcdefghijk\\/lmnop\\\\q\\n\"")},
    };
    for (const auto &[value, text] : cases) {
        EXPECT_EQ(serializer.serializeString(value), text);
        EXPECT_EQ(write(value), text);
    }
}

TEST(CJSONSerializer, Containers) {
    const QString x = QStringLiteral("x");
    EXPECT_EQ(write(QVariantList()), QStringLiteral("[]"));
    EXPECT_EQ(write(QVariantMap()), QStringLiteral("{}"));
    EXPECT_EQ(write(QVariantList{x, x}), QStringLiteral("[\"x\",\"x\"]"));
    QVariantMap dictionary;
    dictionary.insert(QStringLiteral("a"), QVariantList{1, QVariant::fromValue(nullptr)});
    EXPECT_EQ(write(dictionary), QStringLiteral("{\"a\":[1,null]}"));
    EXPECT_EQ(write(QByteArray("hi")), QStringLiteral("\"hi\""));
}

TEST(CJSONSerializer, LongOutput) {
    const QVariantList list(1000, QStringLiteral("ab\"c"));
    QString expected = QStringLiteral("[");
    for (int i = 0; i < 1000; ++i) {
        expected += (i > 0 ? QStringLiteral(",") : QString()) + QStringLiteral("\"ab\\\"c\"");
    }
    EXPECT_EQ(write(list), expected + QStringLiteral("]"));
}

TEST(CJSONSerializer, Failures) {
    EXPECT_EQ(reasonOf(QDateTime()), QStringLiteral("Cannot serialize data of type 'QDateTime'"));
    EXPECT_EQ(reasonOf(QVariantList{1, QVariantMap{{"d", QDateTime()}}}),
              QStringLiteral("Cannot serialize data of type 'QDateTime'"));
    EXPECT_EQ(reasonOf(QVariant()), QStringLiteral("Cannot serialize data of type '(null)'"));
    EXPECT_EQ(reasonOf(std::nan("")), QStringLiteral("Could not serialize object 'nan'"));
    EXPECT_EQ(reasonOf(QByteArray("\xC3(")), QStringLiteral("Could not serialize object '<c328>'"));
    EXPECT_TRUE(serializer.serializeNumber(QStringLiteral("1")).isNull());
}

QVariant nested(int depth) {
    QVariant value = QVariantList();
    for (int i = 1; i < depth; ++i) {
        value = QVariantList{value};
    }
    return value;
}

TEST(CJSONSerializer, NestingLimit) {
    const int limit = CJSONSerializer::MaximumNestingDepth;
    EXPECT_EQ(write(nested(limit)).size(), 2 * limit);
    EXPECT_EQ(reasonOf(nested(limit + 1)),
              QStringLiteral("Cannot serialize data nested deeper than 1024 levels"));
}

TEST(JSONRoundTrip, ReaderWriterReader) {
    const char *documents[] = {
        "{\"a\":[1,2.5,-0,1e300,1e-300,0.1,123456789012345678],\"b\":{\"c\":null,\"d\":true}}",
        "[\"\\u00e9\\n\\t\\r\\\"\\\\/\",\"\\uD83D\\uDE00\",\"\",false,[],{}]",
        "[1e999,-1e999,5e-324,1.7976931348623157e308]",
    };
    const CJSONDeserializer deserializer = CJSONDeserializer::deserializer();
    for (const char *document : documents) {
        const QVariant first = deserializer.deserialize(document);
        ASSERT_TRUE(first.isValid()) << document;
        const QString text = write(first);
        const QVariant second = deserializer.deserialize(text.toUtf8());
        EXPECT_EQ(second, first) << document;
        EXPECT_EQ(write(second), text);
    }
}

}  // namespace
