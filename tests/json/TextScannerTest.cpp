#include "foundation/GenericException.h"
#include "json/NSCharacterSet_Extensions.h"
#include "json/NSScanner_Extensions.h"
#include "json/TextScanner.h"

#include <gtest/gtest.h>

namespace {

QString reasonOf(const std::function<void()> &action) {
    try {
        action();
    } catch (const GenericException &e) {
        return e.reason();
    }
    return {};
}

TEST(LinebreaksCharacterSet, HoldsExactlySix) {
    const CharacterSet set = linebreaksCharacterSet();
    for (char16_t c : {0x000A, 0x000C, 0x000D, 0x0085, 0x2028, 0x2029}) {
        EXPECT_TRUE(set.characterIsMember(c)) << int(c);
    }
    for (char16_t c : {0x000B, 0x0009, 0x0020, 0x2027, 0x0000}) {
        EXPECT_FALSE(set.characterIsMember(c)) << int(c);
    }
}

TEST(TextScanner, CharacterReadsInUtf16Units) {
    TextScanner scanner(QStringLiteral("\U0001F600x"));
    EXPECT_EQ(currentCharacter(scanner), 0xD83D);
    EXPECT_EQ(scanCharacter(scanner), 0xD83D);
    EXPECT_FALSE(scanCharacter(scanner, u'x'));
    EXPECT_EQ(scanCharacter(scanner), 0xDE00);
    EXPECT_TRUE(scanCharacter(scanner, u'x'));
    EXPECT_EQ(scanner.scanLocation(), 3);
    EXPECT_EQ(scanCharacter(scanner), EndOfTextCharacter);
    EXPECT_EQ(scanner.scanLocation(), 3);
    EXPECT_TRUE(remainingString(scanner).isEmpty());
}

TEST(TextScanner, Backtrack) {
    TextScanner scanner(QStringLiteral("abcd"));
    scanner.setScanLocation(3);
    backtrack(scanner, 2);
    EXPECT_EQ(scanner.scanLocation(), 1);
    EXPECT_EQ(reasonOf([&] { backtrack(scanner, 2); }), QStringLiteral("Backtracked too far."));
    EXPECT_EQ(scanner.scanLocation(), 1);
}

TEST(TextScanner, ScanUpToStringRules) {
    TextScanner scanner(QStringLiteral("  ab*/"));
    QString text;
    EXPECT_TRUE(scanner.scanUpToString(QStringLiteral("*/"), &text));
    EXPECT_EQ(text, QStringLiteral("ab"));
    EXPECT_EQ(scanner.scanLocation(), 4);
    // Nothing scanned: fails without moving.
    EXPECT_FALSE(scanner.scanUpToString(QStringLiteral("*/")));
    EXPECT_EQ(scanner.scanLocation(), 4);
    // A missing target takes the rest.
    TextScanner rest(QStringLiteral("abc"));
    EXPECT_TRUE(rest.scanUpToString(QStringLiteral("*/"), &text));
    EXPECT_EQ(text, QStringLiteral("abc"));
}

TEST(TextScannerComments, CStyleFollowsTheTextScannerRules) {
    TextScanner scanner(QStringLiteral("/* a */x"));
    QString body;
    EXPECT_TRUE(scanCStyleComment(scanner, &body));
    EXPECT_EQ(body, QStringLiteral("a "));  // leading white space is skipped
    EXPECT_EQ(remainingString(scanner), QStringLiteral("x"));

    const std::pair<const char16_t *, const char *> raising[] = {
        {u"/**/", "Started to scan a C style comment but it wasn't terminated."},
        {u"/* a", "C style comment did not end correctly."},
        {u"/* a /* b */", "C style comments should not be nested."},
    };
    for (const auto &[input, reason] : raising) {
        TextScanner raisingScanner{QString::fromUtf16(input)};
        EXPECT_EQ(reasonOf([&] { scanCStyleComment(raisingScanner); }), QString::fromUtf8(reason));
    }
}

TEST(TextScannerComments, CPlusPlusStyleEndsAtUnicodeSeparators) {
    TextScanner scanner(QStringLiteral("//a\u2028b"));
    scanner.setCharactersToBeSkipped(CharacterSet());
    QString body;
    EXPECT_TRUE(scanCPlusPlusStyleComment(scanner, &body));
    EXPECT_EQ(body, QStringLiteral("a"));
    EXPECT_EQ(remainingString(scanner), QStringLiteral("b"));

    TextScanner blankLines(QStringLiteral("// hi\r\n\r\nx"));
    blankLines.setCharactersToBeSkipped(CharacterSet());
    EXPECT_TRUE(scanCPlusPlusStyleComment(blankLines, &body));
    EXPECT_EQ(body, QStringLiteral(" hi"));
    EXPECT_EQ(remainingString(blankLines), QStringLiteral("x"));
}

}  // namespace
