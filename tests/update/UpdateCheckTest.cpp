// The version rule, the label texts, and the update check on real widgets, settings and a
// loopback server.
#include "platform/UrlOpener.h"
#include "tests/support/LoopbackHttpServer.h"
#include "update/UpdateCheck.h"
#include "update/VersionComparison.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(VersionComparison, LeadingIntegersComparedOverTheLatestPieces) {
    const struct {
        const char *current;
        const char *latest;  // nullptr: none
        bool newer;
    } cases[] = {
        {"1.0", "1.0.1", true},
        {"1.0", "1.0.0", false},
        {"1.2", "1.10", true},
        {"1.10", "1.9", false},
        {"2.0", "1.9.9", false},
        {"1.0.1", "1.0", false},
        {"1.0", "1.0", false},
        {"1", "1.0.5", true},
        {"1.0", "1.1beta", true},
        {"1.0", "1.0b", false},
        {"1.0", "1.0.-1", false},
        {"1.0", nullptr, false},
        {"1", "", false},
        {"1", "1..2", true},
        {"1", "1.-1.5", true},
        {"1.5", " 1.\t+6", true},
        {"1.-2", "1.-1", true},
        {"3rc1", "3", false},
        {"2147483647", "99999999999", false},
        {"1", "1.99999999999", true},
        {"-99999999999", "-2147483648", false},
        {"-3", "-2", true},
    };
    for (const auto &c : cases) {
        const QString latest = c.latest ? QString::fromUtf8(c.latest) : QString();
        EXPECT_EQ(isNewerVersion(QString::fromUtf8(c.current), latest), c.newer)
            << c.current << " -> " << (c.latest ? c.latest : "(none)");
    }
}

TEST(VersionComparison, LabelTexts) {
    EXPECT_EQ(versionLabelText(QStringLiteral("1.0"), {}), QStringLiteral(u"当前版本：1.0"));
    EXPECT_EQ(versionLabelText(QStringLiteral("1.0"), QStringLiteral("1.1")),
              QStringLiteral(u"当前版本：1.0 最新版本：1.1"));
}

struct RecordingOpener : UrlOpener {
    explicit RecordingOpener(QList<QUrl> *opened) : opened(opened) {}
    void openUrl(const QUrl &url) override { opened->append(url); }
    QList<QUrl> *opened;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
        ASSERT_TRUE(server.start());
        check = std::make_unique<UpdateCheck>(
            UpdateCheck::Outlets{label, updateButton, homeButton, weiboButton},
            std::make_unique<RecordingOpener>(&opened),
            UpdateCheck::Addresses{server.url(QStringLiteral("/velmora/info.php")),
                                   QUrl(QStringLiteral("http://home.example/")),
                                   QUrl(QStringLiteral("http://weibo.example/"))});
        window.show();
    }

    static void store(const QVariantMap &info) {
        QSettings settings;
        settings.setValue(UpdateCheck::InfoKey, info);
    }
    static QVariant stored() { return QSettings().value(UpdateCheck::InfoKey); }
    bool buttonShown() const { return !updateButton->isHidden(); }

    QTemporaryDir settingsDir;
    LoopbackHttpServer server;
    QWidget window;
    QLabel *label = new QLabel(&window);
    QPushButton *updateButton = new QPushButton(&window);
    QPushButton *homeButton = new QPushButton(&window);
    QPushButton *weiboButton = new QPushButton(&window);
    QList<QUrl> opened;
    std::unique_ptr<UpdateCheck> check;
};

TEST_F(UpdateCheckTest, WithoutAStoredDocumentTheLabelIsShortAndTheButtonLeftAlone) {
    for (const bool shown : {true, false}) {
        updateButton->setVisible(shown);
        check->updateCheck();
        EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0"));
        EXPECT_EQ(buttonShown(), shown);
        EXPECT_TRUE(check->updateUrl().isNull());
    }
}

TEST_F(UpdateCheckTest, ANewerStoredVersionShowsBothAndTheButtonOpensItsAddress) {
    updateButton->hide();
    store({{"version", "1.1"}, {"downloadurl", "https://dl.example/v1.1?x=1"}});
    check->updateCheck();
    EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0 最新版本：1.1"));
    ASSERT_TRUE(buttonShown());
    updateButton->click();
    homeButton->click();
    weiboButton->click();
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://dl.example/v1.1?x=1"),
                                   QUrl("http://home.example/"), QUrl("http://weibo.example/")}));
}

TEST_F(UpdateCheckTest, AReceivedDocumentWithNullsReplacesTheStoredOneAndReadsBack) {
    store({{"version", "1.1"}, {"downloadurl", "https://dl.example/"}});
    check->updateCheck();
    ASSERT_TRUE(buttonShown());
    check->didReceiveInfo(R"({"version":"1.0","downloadurl":null,"more":[null,2.5,{"k":null}]})");
    EXPECT_FALSE(buttonShown()) << "the same version hides the button again";
    EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0"));
    EXPECT_TRUE(check->updateUrl().isEmpty());
    const QVariantMap expected{{"version", "1.0"},
                               {"downloadurl", QVariant::fromValue(nullptr)},
                               {"more",
                                QVariantList{QVariant::fromValue(nullptr), 2.5,
                                             QVariantMap{{"k", QVariant::fromValue(nullptr)}}}}};
    EXPECT_EQ(stored(), expected) << "read through a fresh settings object";
}

TEST_F(UpdateCheckTest, TheRequestStoresAnAnswerOfUpTo1MiB) {
    const QByteArray document = R"({"version":"2.0","downloadurl":"http://dl.example/","pad":")";
    const auto answerOfSize = [&](qsizetype size) {
        LoopbackHttpServer::Reply reply;
        reply.body = document + QByteArray(size - document.size() - 2, 'x') + "\"}";
        return reply;
    };
    server.setReply(answerOfSize(1024 * 1024 + 1));
    check->startRequest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().isEmpty(); }, 5000));
    QTest::qWait(1000);
    EXPECT_FALSE(stored().isValid());

    server.setReply(answerOfSize(1024 * 1024));
    check->startRequest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stored().isValid(); }, 5000));
    EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0 最新版本：2.0"));
}

}  // namespace
