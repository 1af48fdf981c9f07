#include "foundation/GenericException.h"
#include "json/CDataScanner.h"
#include "json/CDataScanner_Extensions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

QByteArray bytes(const char *text) { return QByteArray(text); }

TEST(CDataScanner, WhitespaceThenCharacterReads) {
    auto scanner = CDataScanner::scannerWithData(bytes("  {"));
    scanner->skipWhitespace();
    EXPECT_EQ(scanner->scanLocation(), 2u);
    EXPECT_EQ(scanner->currentCharacter(), u'{');
    EXPECT_EQ(scanner->scanLocation(), 2u);
    EXPECT_TRUE(scanner->scanCharacter(u'{'));
    EXPECT_EQ(scanner->scanLocation(), 3u);
    EXPECT_TRUE(scanner->isAtEnd());
    // At the end nothing matches and nothing moves.
    EXPECT_FALSE(scanner->scanCharacter(u'{'));
    EXPECT_EQ(scanner->scanCharacter(), CDataScanner::EndOfDataCharacter);
    EXPECT_EQ(scanner->scanLocation(), 3u);
}

TEST(CDataScanner, WhitespaceIsThePosixSixOnly) {
    auto scanner = CDataScanner::scannerWithData(QByteArray("\t\n\v\f\r \xA0", 7));
    scanner->skipWhitespace();
    EXPECT_EQ(scanner->scanLocation(), 6u);
    scanner->setData(QByteArray("\x85", 1));
    scanner->skipWhitespace();
    EXPECT_EQ(scanner->scanLocation(), 0u);
}

TEST(CDataScanner, LongWhitespaceRunsStopAtTheFirstOtherByte) {
    const std::pair<QByteArray, quint64> cases[] = {
        {QByteArray(16, ' '), 16},
        {QByteArray(20, ' ') + "\n" + QByteArray(17, ' ') + "\tx", 39},
        {QByteArray(9, ' ') + "\r\n" + QByteArray(30, ' ') + "\xA0" + QByteArray(20, ' '), 41},
        {" " + QByteArray(40, '\n') + "]", 41},
    };
    for (const auto &[text, location] : cases) {
        auto scanner = CDataScanner::scannerWithData(text);
        scanner->skipWhitespace();
        EXPECT_EQ(scanner->scanLocation(), location) << text.constData();
    }
}

TEST(CDataScanner, NumberRuns) {
    struct Case {
        const char *input;
        bool scanned;
        double value;
        quint64 location;
    };
    const Case cases[] = {
        {"1.2.3,", true, 1.2, 5},
        {"-x", true, 0.0, 1},
        {"1e+5", true, 1.0, 2},
        {"+5", false, 0.0, 0},
        {"1.5e3", true, 1500, 5},
        {"007", true, 7, 3},
        {"1e999", true, INFINITY, 5},
        {"-1e999", true, -INFINITY, 6},
        {"1e-999", true, 0.0, 6},
        {"-inf", true, 0.0, 1},
        {"0x1p3", true, 0.0, 1},
        {"2E-3]", true, 0.002, 4},
        // Integers short enough to be read digit by digit, and what lies just past them.
        {"-0", true, -0.0, 2},
        {"12345678", true, 12345678, 8},
        {"1234567a", true, 1234567, 7},
        {"-98765432]", true, -98765432, 9},
        {"123456789012345,", true, 123456789012345, 15},
        {"1234567890123456", true, 1234567890123456, 16},
        {"12345678901234567890", true, 12345678901234567890.0, 20},
        {"12345678.5", true, 12345678.5, 10},
        {"87654321e2", true, 8765432100, 10},
        {"1-2", true, 1, 3},
        // The same inside a longer text.
        {"337184283, 12345", true, 337184283, 9},
        {"12345678:1234567", true, 12345678, 8},
        {"-123456781234567 ", true, -123456781234567, 16},
        {"1234567812345678 ", true, 1234567812345678, 16},
        {"123456781234567.5 ", true, 123456781234567.5, 17},
    };
    for (const Case &c : cases) {
        auto scanner = CDataScanner::scannerWithData(bytes(c.input));
        double value = -42;
        EXPECT_EQ(scanner->scanNumber(&value), c.scanned) << c.input;
        EXPECT_EQ(scanner->scanLocation(), c.location) << c.input;
        if (c.scanned) {
            EXPECT_EQ(value, c.value) << c.input;
            EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.input;
        }
    }
}

TEST(CDataScanner, LiteralsAndSearch) {
    auto scanner = CDataScanner::scannerWithData(bytes("tru"));
    EXPECT_FALSE(scanner->scanUTF8String("true"));
    EXPECT_EQ(scanner->scanLocation(), 0u);

    QString text;
    scanner->setData(bytes("abc*/"));
    EXPECT_TRUE(scanner->scanUpToString(QStringLiteral("*/"), &text));
    EXPECT_EQ(text, QStringLiteral("abc"));
    EXPECT_EQ(scanner->scanLocation(), 3u);

    scanner->setData(bytes("abc"));
    EXPECT_FALSE(scanner->scanUpToString(QStringLiteral("*/")));
    EXPECT_EQ(scanner->scanLocation(), 0u);

    // The search stops at a NUL byte.
    scanner->setData(QByteArray("ab\0c*/", 6));
    EXPECT_FALSE(scanner->scanUpToString(QStringLiteral("*/")));
}

TEST(CDataScanner, RunsAndInvalidUtf8) {
    const CharacterSet nothing;
    auto scanner = CDataScanner::scannerWithData(bytes("h\xC3\xA9llo"));
    QString text;
    EXPECT_TRUE(scanner->scanUpToCharactersFromSet(nothing, &text));
    EXPECT_EQ(text, QStringLiteral("h\u00E9llo"));
    EXPECT_TRUE(scanner->isAtEnd());

    // The edges of the three-byte forms: U+0800, U+D7FF, U+E000, U+FFFF.
    scanner->setData(bytes("\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"));
    EXPECT_TRUE(scanner->scanUpToCharactersFromSet(nothing, &text));
    EXPECT_EQ(text, QString::fromUtf16(u"\u0800\uD7FF\uE000\uFFFF"));

    // Invalid UTF-8 gives no text but the run is still taken.
    for (const char *invalid :
         {"a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\xE0\x9F\xBF",
          "\xE2\x28\xA1", "\xE2\x82\xC0", "x\xE2\x82", "\xE4\xB8\x80\xED\xA0\x80",
          "\xE4\xB8\x80\xE4\xB8", "\xE4\xB8\x80\xED\xA0\x80xy", "\xE0\x80\x80\xE4\xB8\x80xy"}) {
        scanner->setData(bytes(invalid));
        text = QStringLiteral("untouched");
        EXPECT_TRUE(scanner->scanUpToCharactersFromSet(nothing, &text)) << invalid;
        EXPECT_TRUE(text.isNull()) << invalid;
        EXPECT_TRUE(scanner->isAtEnd()) << invalid;
    }
}

TEST(CDataScanner, SameDataKeepsPositionEqualDataResets) {
    const QByteArray data = bytes("abc");
    auto scanner = CDataScanner::scannerWithData(data);
    scanner->scanCharacter();
    scanner->setData(data);
    EXPECT_EQ(scanner->scanLocation(), 1u);
    scanner->setData(QByteArray(data.constData(), data.size()));
    EXPECT_EQ(scanner->scanLocation(), 0u);
    scanner->setData(QByteArray());
    EXPECT_TRUE(scanner->isAtEnd());
    EXPECT_TRUE(scanner->remainingString().isEmpty());
}

TEST(CDataScannerComments, CStyle) {
    auto scanner = CDataScanner::scannerWithData(bytes("/* a */x"));
    QString body;
    EXPECT_TRUE(scanCStyleComment(*scanner, &body));
    EXPECT_EQ(body, QStringLiteral(" a "));
    EXPECT_EQ(scanner->remainingString(), QStringLiteral("x"));

    scanner->setData(bytes("/**/"));
    EXPECT_TRUE(scanCStyleComment(*scanner, &body));
    EXPECT_TRUE(body.isEmpty());

    // The nested case has already searched up to the closing marker when it raises.
    const std::tuple<const char *, const char *, quint64> raising[] = {
        {"/* a /* b */", "C style comments should not be nested.", 10},
        {"/* a", "Started to scan a C style comment but it wasn't terminated.", 2},
    };
    for (const auto &[input, reason, location] : raising) {
        scanner->setData(bytes(input));
        try {
            scanCStyleComment(*scanner);
            ADD_FAILURE() << input;
        } catch (const GenericException &e) {
            EXPECT_EQ(e.name(), QStringLiteral("NSGenericException"));
            EXPECT_EQ(e.reason(), QString::fromUtf8(reason));
            EXPECT_EQ(scanner->scanLocation(), location);
        }
    }
    scanner->setData(bytes("x/**/"));
    EXPECT_FALSE(scanCStyleComment(*scanner));
    EXPECT_EQ(scanner->scanLocation(), 0u);
}

TEST(CDataScannerComments, CPlusPlusStyle) {
    auto scanner = CDataScanner::scannerWithData(bytes("// hi\r\n\r\nx"));
    QString body;
    EXPECT_TRUE(scanCPlusPlusStyleComment(*scanner, &body));
    EXPECT_EQ(body, QStringLiteral(" hi"));
    EXPECT_EQ(scanner->remainingString(), QStringLiteral("x"));

    scanner->setData(bytes("//"));
    QString fresh;
    EXPECT_TRUE(scanCPlusPlusStyleComment(*scanner, &fresh));
    EXPECT_TRUE(fresh.isNull());

    // 0x85 ends the line even as the second byte of "\u0145"; U+2028 does not.
    scanner->setData(bytes("//a\xC5\x85z"));
    EXPECT_TRUE(scanCPlusPlusStyleComment(*scanner, &body));
    EXPECT_TRUE(body.isNull());  // "a\xC5" alone is not UTF-8
    EXPECT_EQ(scanner->remainingString(), QStringLiteral("z"));
    scanner->setData(bytes("//a\xE2\x80\xA8z"));
    EXPECT_TRUE(scanCPlusPlusStyleComment(*scanner, &body));
    EXPECT_EQ(body, QStringLiteral("a\u2028z"));
}

}  // namespace
