// Numbers are read and written with a point whatever locale the application object set
// from the environment. The first case runs in the locale the process was started in; the
// second starts it again under a German locale generated into a private folder.
#include "json/CJSONDeserializer.h"
#include "json/CJSONSerializer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const char *const CommaLocaleExpected = "VELMORA_EXPECT_DECIMAL_COMMA";

double read(const char *text) {
    return CJSONDeserializer::deserializer().deserialize(QByteArray(text)).toDouble();
}

// Same double, sign of zero included.
bool sameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(JSONNumberLocale, PointWhateverTheLocale) {
    if (qEnvironmentVariableIsSet(CommaLocaleExpected)) {
        ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the locale did not take effect";
    }
    constexpr double Infinity = std::numeric_limits<double>::infinity();
    const std::pair<const char *, double> cases[] = {
        {"1.5e400", Infinity},
        {"-2.5e-400", -0.0},
        {"-1.5e99999999999999999999", -Infinity},
        {"0.000001e-99999999999999999999", 0.0},
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"1.8e308", Infinity},
        {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
        {"3e-324", std::numeric_limits<double>::denorm_min()},
        {"2e-324", 0.0},
        {"2.2250738585072009e-308", 2.2250738585072009e-308},
        {"-1e-320", -1e-320},
        {"3.14159265358979323846264338327950288419716939937510", 3.14159265358979323846},
        {"9007199254740993.0000000000000000001", 9007199254740994.0},
        {"0.1000000000000000055511151231257827021181583404541015625", 0.1},
        {"123456789012345678901234567890.5e-10", 12345678901234567890.12345678905},
        {"-0.25", -0.25},
    };
    for (const auto &[text, expected] : cases) {
        EXPECT_TRUE(sameDouble(read(text), expected)) << text << " read as " << read(text);
    }
    EXPECT_EQ(CJSONDeserializer::deserializer().deserialize("[1.5e400, -2.5e-400]"),
              QVariant(QVariantList{Infinity, -0.0}));

    const QVariantList written{1.5, -0.25, 1e-7, 5e-324, 1.7976931348623157e308, 1e21};
    const QString text = CJSONSerializer::serializer().serializeObject(written);
    EXPECT_EQ(text, QStringLiteral("[1.5,-0.25,1e-07,5e-324,1.7976931348623157e308,1e21]"));
    EXPECT_EQ(CJSONDeserializer::deserializer().deserialize(text.toUtf8()), QVariant(written));
}

TEST(JSONNumberLocale, UnderGermanLocale) {
    const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    if (localedef.isEmpty() ||
        !QFileInfo::exists(QStringLiteral("/usr/share/i18n/locales/de_DE"))) {
        GTEST_SKIP()
            << "localedef or the de_DE locale sources are missing (Debian package locales)";
    }
    const QTemporaryDir locales;
    ASSERT_TRUE(locales.isValid());
    QProcess generate;
    generate.setProcessChannelMode(QProcess::MergedChannels);
    generate.start(localedef,
                   {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                    QStringLiteral("UTF-8"), locales.filePath(QStringLiteral("de_DE.UTF-8"))});
    ASSERT_TRUE(generate.waitForFinished(120000));
    ASSERT_EQ(generate.exitCode(), 0) << generate.readAll().toStdString();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LOCPATH"), locales.path());
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    environment.insert(QString::fromLatin1(CommaLocaleExpected), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=JSONNumberLocale.PointWhateverTheLocale")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

}  // namespace
