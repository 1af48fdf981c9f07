#include "json/CJSONDeserializer.h"
#include "json/CJSONScanner.h"
#include "json/NSDictionary_JSONExtensions.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Outcome {
    QVariant value;
    Error error;
    quint64 location;
};

Outcome scanValue(const QByteArray &text) {
    auto scanner = CJSONScanner::scannerWithData(text);
    Outcome outcome;
    scanner->scanJSONObject(&outcome.value, &outcome.error);
    outcome.location = scanner->scanLocation();
    return outcome;
}

QVariant parse(const char *text) { return scanValue(QByteArray(text)).value; }

QVariantMap map(std::initializer_list<std::pair<QString, QVariant>> members) {
    QVariantMap result;
    for (const auto &[key, value] : members) {
        result.insert(key, value);
    }
    return result;
}

const QVariant Null = QVariant::fromValue(nullptr);

TEST(JSONReaderValues, AcceptedTexts) {
    const std::pair<const char *, QVariant> cases[] = {
        {"{}", QVariantMap()},
        {"{ }", QVariantMap()},
        {"{\"a\":1,}", map({{"a", 1.0}})},
        {"{\"a\":1,\"a\":2}", map({{"a", 2.0}})},
        {"{\"a\": \t1,\"b\": 2}", map({{"a", 1.0}, {"b", 2.0}})},
        {"[1, 2 ,3 ,]", QVariantList{1.0, 2.0, 3.0}},
        {"[ ]", QVariantList()},
        {"\v\f [true,false,null]", QVariantList{true, false, Null}},
        {"\"\\u00e9\\u00E9\"", QStringLiteral("\u00E9\u00E9")},
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", QStringLiteral("\"\\/\b\f\n\r\t")},
        {"\"raw\ttab\"", QStringLiteral("raw\ttab")},
        {"\"\\uD83D\\uDE00\"", QStringLiteral("\U0001F600")},
        {"1.5e3", 1500.0},
        {"007", 7.0},
        {"truex", true},
        {"{\"k\":{\"n\":[[]]}} trailing", map({{"k", map({{"n", QVariantList{QVariantList()}}})}})},
        // Long strings, with their stops and non-ASCII bytes on either side of 16-byte blocks.
        {"\"0123456789abcdef\\n0123456789abcde\xC3\xA9\"",
         QStringLiteral("0123456789abcdef\n0123456789abcde\u00E9")},
        {"\"\xE4\xB8\x80\xE4\xBA\x8C\xE4\xB8\x89\xE5\x9B\x9B\xE4\xBA\x94x\\t\xE5\x85\xAD\"",
         QStringLiteral("\u4E00\u4E8C\u4E09\u56DB\u4E94x\t\u516D")},
    };
    for (const auto &[input, expected] : cases) {
        const QVariant value = parse(input);
        EXPECT_EQ(value, expected) << input;
        EXPECT_EQ(value.metaType(), expected.metaType()) << input;
    }
}

TEST(JSONReaderValues, KeepsWhatUtf16Keeps) {
    EXPECT_EQ(parse("\"\\uD800x\""), QString::fromUtf16(u"\xD800x"));
    EXPECT_EQ(parse("\"a\\u0000b\"").toString().size(), 3);
    const QVariant withNul = scanValue(QByteArray("\"a\0b\"", 5)).value;
    EXPECT_EQ(withNul.toString(), QString::fromUtf16(u"a\0b", 3));
    EXPECT_TRUE(std::signbit(parse("-0").toDouble()));
}

TEST(JSONReaderValues, NoValueNoError) {
    for (const char *input : {"True", "nul", "+1", ".5", "", "  ", "/* c */ 1"}) {
        const Outcome outcome = scanValue(QByteArray(input));
        EXPECT_FALSE(outcome.value.isValid()) << input;
        EXPECT_EQ(outcome.error, Error()) << input;
    }
}

TEST(JSONReaderErrors, CodesMessagesAndPositions) {
    struct Case {
        const char *input;
        qint64 code;
        const char *message;
        quint64 location;
    };
    const Case cases[] = {
        {"{a:1}", -2, "Could not scan dictionary. Failed to scan a key.", 0},
        {"{\"a\" 1}", -3, "Could not scan dictionary. Key was not terminated with a ':' character.",
         0},
        {"{\"a\":}", -4, "Could not scan dictionary. Failed to scan a value.", 0},
        {" {\"a\":1 \"b\":2}", -5,
         "Could not scan dictionary. Key value pairs not delimited with a ',' character.", 1},
        {"{\"a\":1", -5,
         "Could not scan dictionary. Key value pairs not delimited with a ',' character.", 0},
        {"{\"a\":\"\\q\"}", -4, "Could not scan dictionary. Failed to scan a value.", 0},
        {"[1 2]", -9, "Could not scan array. Array not terminated by a ']' character.", 0},
        {"[1,x]", -8, "Could not scan array. Could not scan a value.", 0},
        {"[", -8, "Could not scan array. Could not scan a value.", 0},
        {"[,1]", -8, "Could not scan array. Could not scan a value.", 0},
        {"[{\"a\":1},{\"a\":[x]}]", -8, "Could not scan array. Could not scan a value.", 0},
        {"\"\\u00g9\"", -12,
         "Could not scan string constant. Unicode character could not be decoded.", 0},
        {"\"\\q\"", -13, "Could not scan string constant. Unknown escape code.", 0},
        {" 'x'", -11, "Could not scan string constant. String not started by a '\"' character.", 1},
        {"\"abc", -15, "Could not scan string constant. String not terminated by a '\"' character.",
         0},
        {"\"abc\\", -15,
         "Could not scan string constant. String not terminated by a '\"' character.", 0},
        {"\"a\xC3(\"", -16, "Could not scan string constant. String is not valid UTF-8.", 0},
        {"\"\\n\xC3(\"", -16, "Could not scan string constant. String is not valid UTF-8.", 0},
        {" \"a\\tb", -15,
         "Could not scan string constant. String not terminated by a '\"' character.", 1},
    };
    for (const Case &c : cases) {
        const Outcome outcome = scanValue(QByteArray(c.input));
        EXPECT_FALSE(outcome.value.isValid()) << c.input;
        EXPECT_EQ(outcome.error.domain(), QStringLiteral("CJSONScannerErrorDomain")) << c.input;
        EXPECT_EQ(outcome.error.code(), c.code) << c.input;
        EXPECT_EQ(outcome.error.localizedDescription(), QString::fromUtf8(c.message)) << c.input;
        EXPECT_EQ(outcome.location, c.location) << c.input;
    }
}

TEST(JSONReaderErrors, DirectEntryPoints) {
    auto scanner = CJSONScanner::scannerWithData(QByteArray("x"));
    Error error;
    EXPECT_FALSE(scanner->scanJSONArray(nullptr, &error));
    EXPECT_EQ(error.code(), -7);
    EXPECT_EQ(error.localizedDescription(),
              QStringLiteral("Could not scan array. Array not started by a '{' character."));
    EXPECT_FALSE(scanner->scanJSONNumberConstant(nullptr, &error));
    EXPECT_EQ(error.code(), -14);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Could not scan number constant."));
    EXPECT_FALSE(scanner->scanJSONDictionary(nullptr, &error));
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(scanner->scanLocation(), 0u);

    scanner->setData(QByteArray("ab\"c"));
    QString run;
    EXPECT_TRUE(scanner->scanNotQuoteCharactersIntoString(&run));
    EXPECT_EQ(run, QStringLiteral("ab"));
    EXPECT_FALSE(scanner->scanNotQuoteCharactersIntoString(&run));
}

TEST(JSONReaderValues, LongArraysKeepOrderAndFailAsShortOnes) {
    QByteArray numbers;
    QVariantList expected;
    for (int i = 0; i < 10000; ++i) {
        numbers += QByteArray::number(i) + ',';
        expected.append(double(i));
    }
    const QVariant nested = scanValue("[[" + numbers + "], [" + numbers + "[]], 7]").value;
    EXPECT_EQ(nested,
              QVariant(QVariantList{expected, expected + QVariantList{QVariantList()}, 7.0}));

    const Outcome failed = scanValue("[[" + numbers + "x]]");
    EXPECT_EQ(failed.error.code(), -8);
    EXPECT_EQ(failed.location, 0u);

    // What a failed array had read is let go before the scanner reads on.
    auto scanner = CJSONScanner::scannerWithData("[\"" + QByteArray(100, 'a') + "\", [1], x]");
    EXPECT_FALSE(scanner->scanJSONArray(nullptr));
    scanner->setData("[2, [3]]");
    QVariantList array;
    EXPECT_TRUE(scanner->scanJSONArray(&array));
    EXPECT_EQ(array, (QVariantList{2.0, QVariantList{3.0}}));
}

// Records after the first of their kind are read along its keys: each must come out as it
// does alone, however it strays from the first.
TEST(JSONReaderValues, RecordsReadAlongAnEarlierOneComeOutAsAlone) {
    const char *const records[] = {
        R"({"b":1,"a":"x","c":[2]})",
        R"({"b":3,"a":"y","c":[]})",
        R"({"b":4,"a":"z"})",
        R"({"b":5,"a":"w","c":6,"d":7})",
        R"({"b":8,"c":9,"a":10})",
        R"({"b":11,"a":12,"a":13,"c":14})",
        R"({"b":15,"b":16,"c":17})",
        R"({"b":18,"\u0061":19,"c":20})",
        R"({"b":{"b":21,"a":22,"c":23},"a":{"b":24},"c":25})",
        R"({"b" : 26 , "a" : 27 , "c" : 28})",
        R"({"b":29})",
        R"({"b":30,"c":31})",
        R"({"b":32,"x":33,"a":34,"c":35,"a":36})",
        R"({"\u0062":37,"a":38,"c":39})",
        R"({"\u0065":40,"f":41})",
        R"({"e":42,"f":43})",
        R"({"bb":44})",
        R"({"b":45,"c":[46],"a":47,"c":48})",
    };
    QByteArray document = "[";
    QVariantList alone;
    for (const char *record : records) {
        document += QByteArray(record) + ',';
        alone.append(parse(record));
    }
    const QVariantList together = parse(document + ']').toList();
    ASSERT_EQ(together.size(), alone.size());
    for (qsizetype i = 0; i < alone.size(); ++i) {
        EXPECT_EQ(together[i], alone[i]) << records[i];
        EXPECT_EQ(together[i].toMap().keys(), alone[i].toMap().keys()) << records[i];
    }

    // Shapes go with the text they were learnt from.
    auto scanner = CJSONScanner::scannerWithData(R"([{"a":1,"b":2},{"a":3,"b":4}])");
    EXPECT_TRUE(scanner->scanJSONArray(nullptr));
    scanner->setData(R"([{"a":5,"c":6}])");
    QVariantList array;
    EXPECT_TRUE(scanner->scanJSONArray(&array));
    EXPECT_EQ(array, QVariantList{map({{"a", 5.0}, {"c", 6.0}})});
}

TEST(JSONReaderNesting, LimitFailsTheEnclosingConstructWithoutOverflow) {
    const int limit = CJSONScanner::MaximumNestingDepth;
    const QByteArray deepest = QByteArray(limit, '[') + QByteArray(limit, ']');
    EXPECT_TRUE(parse(deepest.constData()).isValid());

    const QByteArray tooDeep = QByteArray(limit + 1, '[') + QByteArray(limit + 1, ']');
    const Outcome outcome = scanValue(tooDeep);
    EXPECT_FALSE(outcome.value.isValid());
    EXPECT_EQ(outcome.error.code(), -8);
    EXPECT_EQ(outcome.location, 0u);

    const Outcome million = scanValue(QByteArray(1000000, '['));
    EXPECT_EQ(million.error.code(), -8);
    const Outcome dictionaries =
        scanValue(QByteArray("{\"a\":").repeated(limit + 1) + "1" + QByteArray(limit + 1, '}'));
    EXPECT_EQ(dictionaries.error.code(), -4);
}

QByteArray encoded(const QString &text, QStringConverter::Encoding encoding) {
    QStringEncoder encoder(encoding, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

TEST(JSONDeserializer, DetectsUtf16AndUtf32) {
    const QString text = QStringLiteral("{\"a\":\"\U0001F600\"}");
    const QVariantMap expected = map({{"a", QStringLiteral("\U0001F600")}});
    for (auto encoding : {QStringConverter::Utf16LE, QStringConverter::Utf16BE,
                          QStringConverter::Utf32LE, QStringConverter::Utf32BE}) {
        Error error;
        EXPECT_EQ(CJSONDeserializer::deserializer().deserializeAsDictionary(encoded(text, encoding),
                                                                            &error),
                  expected)
            << int(encoding);
    }
    // A byte-order mark fits no pattern: scanned as UTF-8, it fails at its first byte.
    Error error;
    const QByteArray withMark =
        QByteArray("\xFF\xFE", 2) + encoded(text, QStringConverter::Utf16LE);
    EXPECT_FALSE(CJSONDeserializer::deserializer().deserializeAsDictionary(withMark, &error));
    EXPECT_EQ(error.code(), -1);
    // A lone surrogate in UTF-16 does not decode: no data, so the scan fails at once.
    EXPECT_FALSE(CJSONDeserializer::deserializer()
                     .deserialize(QByteArray("[\0\0\xD8]\0", 6), &error)
                     .isValid());
}

TEST(JSONDeserializer, EntryPoints) {
    const CJSONDeserializer deserializer = CJSONDeserializer::deserializer();
    Error error(QStringLiteral("kept"), 7);
    EXPECT_EQ(deserializer.deserializeAsDictionary("{\"a\":1} trailing", &error),
              map({{"a", 1.0}}));
    EXPECT_EQ(error, Error(QStringLiteral("kept"), 7));

    for (const char *notAtFirstByte : {"[1,2]", " {}", "\n{}", "\"s\"", "true"}) {
        EXPECT_FALSE(deserializer.deserializeAsDictionary(notAtFirstByte, &error));
        EXPECT_EQ(error.code(), -1) << notAtFirstByte;
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("Could not scan dictionary. Dictionary that does not start with "
                                 "'{' character."));
    }
    EXPECT_EQ(deserializer.deserialize(" [1,2]", &error), QVariant(QVariantList{1.0, 2.0}));
    EXPECT_EQ(dictionaryWithJSONData("[1,2]", &error), QVariant(QVariantList{1.0, 2.0}));

    for (const QByteArray &missing : {QByteArray(), QByteArray("")}) {
        EXPECT_FALSE(deserializer.deserializeAsDictionary(missing, &error));
        EXPECT_EQ(error, Error(QStringLiteral("CJSONDeserializerErrorDomain"), -1));
        EXPECT_FALSE(dictionaryWithJSONData(missing, &error).isValid());
        EXPECT_EQ(error, Error(QStringLiteral("CJSONDeserializerErrorDomain"), -1));
    }
    EXPECT_FALSE(deserializer.deserializeAsDictionary("{", nullptr));
}

}  // namespace
