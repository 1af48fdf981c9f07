// The version rule, the label texts, and the update check on real widgets, settings and a
// loopback server.
#include "platform/UrlOpener.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TemporarySettings.h"
#include "update/UpdateCheck.h"
#include "update/VersionComparison.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
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
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
        ASSERT_TRUE(server.start());
        check = std::make_unique<UpdateCheck>(
            UpdateCheck::Outlets{label, updateButton, homeButton, weiboButton, linkNote},
            std::make_unique<RecordingOpener>(&opened),
            UpdateCheck::Addresses{server.url(QStringLiteral("/velmora/info.php")),
                                   QUrl(QStringLiteral("http://home.example/")),
                                   QUrl(QStringLiteral("http://weibo.example/"))});
        window.show();
    }

    // As a person would write it.
    static void store(const QString &version, const QString &downloadUrl) {
        QSettings settings;
        settings.setValue(UpdateCheck::InfoKey + QStringLiteral("/version"), version);
        settings.setValue(UpdateCheck::InfoKey + QStringLiteral("/downloadurl"), downloadUrl);
    }
    static QVariantMap stored() {
        QSettings settings;
        settings.beginGroup(UpdateCheck::InfoKey);
        QVariantMap fields;
        for (const QString &key : settings.childKeys()) fields.insert(key, settings.value(key));
        return fields;
    }
    bool buttonShown() const { return !updateButton->isHidden(); }

    TemporarySettings settings;
    LoopbackHttpServer server;
    QWidget window;
    QLabel *label = new QLabel(&window);
    QPushButton *updateButton = new QPushButton(&window);
    QPushButton *homeButton = new QPushButton(&window);
    QPushButton *weiboButton = new QPushButton(&window);
    QLabel *linkNote = new QLabel(&window);
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
    store("1.1", "https://dl.example/v1.1?x=1");
    check->updateCheck();
    EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0 最新版本：1.1"));
    ASSERT_TRUE(buttonShown());
    updateButton->click();
    homeButton->click();
    weiboButton->click();
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://dl.example/v1.1?x=1"),
                                   QUrl("http://home.example/"), QUrl("http://weibo.example/")}));
}

// Kept as text a person can read, one field a line; null is empty, other values their JSON.
TEST_F(UpdateCheckTest, AReceivedDocumentWithNullsReplacesTheStoredOneAsText) {
    store("1.1", "https://dl.example/");
    check->updateCheck();
    ASSERT_TRUE(buttonShown());
    check->didReceiveInfo(R"({"version":"1.0","downloadurl":null,"more":[null,2.5,{"k":null}]})");
    EXPECT_FALSE(buttonShown()) << "the same version hides the button again";
    EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0"));
    EXPECT_TRUE(check->updateUrl().isEmpty());
    const QVariantMap expected{{"version", "1.0"},
                               {"downloadurl", ""},
                               {"more", R"([null,2.5,{"k":null}])"}};
    EXPECT_EQ(stored(), expected);
    EXPECT_FALSE(TemporarySettings::read().contains(QStringLiteral("@Variant")));
}

TEST_F(UpdateCheckTest, ADocumentKeptTheEarlierWayIsReadOnceAndRewrittenAsText) {
    QSettings().setValue(UpdateCheck::InfoKey, QVariantMap{{"version", "1.1"},
                                                           {"downloadurl", "https://dl.example/"},
                                                           {"size", 12}});
    check->updateCheck();
    EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0 最新版本：1.1"));
    EXPECT_EQ(stored(), (QVariantMap{{"version", "1.1"}, {"downloadurl", "https://dl.example/"}}));
    EXPECT_FALSE(TemporarySettings::read().contains(QStringLiteral("@Variant")));
}

// An address that is not for the web opens nothing, and the window says why.
TEST_F(UpdateCheckTest, ADownloadAddressThatCannotOpenIsSaid) {
    const struct {
        const char *address;
        const char *said;
    } cases[] = {
        {"file:///etc/passwd",
         "only http and https addresses are opened, not “file:///etc/passwd”"},
        {"", "there is no address to open"},
        {"https://dl.example/", nullptr},
    };
    for (const auto &c : cases) {
        store("1.1", QString::fromUtf8(c.address));
        check->updateCheck();
        updateButton->click();
        EXPECT_EQ(linkNote->isHidden(), !c.said) << c.address;
        if (c.said) {
            EXPECT_TRUE(linkNote->text().contains(QString::fromUtf8(c.said))) << c.address;
        }
    }
    EXPECT_EQ(opened, QList<QUrl>({QUrl("https://dl.example/")}));
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
    EXPECT_TRUE(stored().isEmpty());

    server.setReply(answerOfSize(1024 * 1024));
    check->startRequest();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stored().isEmpty(); }, 5000));
    EXPECT_EQ(label->text(), QStringLiteral(u"当前版本：1.0 最新版本：2.0"));
}

}  // namespace
