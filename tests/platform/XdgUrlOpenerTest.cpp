// What xdg-open command opens an address, and as whom; and that it really runs that way.
#include "platform/linux/XdgUrlOpener.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace {

class XdgUrlOpenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const passwd *entry = getpwnam("nobody");
        if (!entry) GTEST_SKIP() << "no user nobody";
        nobody = entry->pw_uid;
        nobodyHome = entry->pw_dir;
        ASSERT_TRUE(dir.isValid());
        // Everybody may run the fake xdg-open and leave its report here.
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        QDir(dir.path()).mkpath(QStringLiteral("run/%1").arg(nobody));
        QDir(dir.path()).mkpath(QStringLiteral("x11"));
        touch(QStringLiteral("run/%1/bus").arg(nobody));
        touch(QStringLiteral("x11/X7"));
        // The display's owner is whoever is not root here: nobody when the test runs as root.
        if (geteuid() == 0) {
            ASSERT_EQ(chown(qPrintable(path("x11/X7")), nobody, nobody), 0);
        }
        displayOwner = geteuid() == 0 ? nobody : geteuid();
        writeFakeXdgOpen();
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    void touch(const QString &name) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void writeFakeXdgOpen() const {
        QFile script(path(QStringLiteral("xdg-open")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\n"
                                    "fds=$(ls /proc/$$/fd | tr '\\n' ' ')\n"
                                    "echo \"$(id -u) $HOME $1 fds: $fds\" > %1.tmp\n"
                                    "mv %1.tmp %1\n")
                         .arg(path(QStringLiteral("opened")))
                         .toUtf8());
        script.setPermissions(QFileDevice::Permissions(0x7755));
    }
    // Root's context as pkexec leaves it, with the given variables on top.
    XdgUrlOpener::Context context(uid_t euid, const QStringList &variables) const {
        XdgUrlOpener::Context c{euid, {}, path(QStringLiteral("x11")), path(QStringLiteral("run"))};
        c.environment.insert(QStringLiteral("PATH"), dir.path() + QStringLiteral(":/usr/bin:/bin"));
        c.environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
        c.environment.insert(QStringLiteral("XAUTHORITY"), QStringLiteral("/home/x/.Xauthority"));
        for (const QString &variable : variables)
            c.environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
        return c;
    }
    QString report() const {
        QFile file(path(QStringLiteral("opened")));
        if (!QTest::qWaitFor([&] { return file.exists(); }, 5000)) return {};
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll()).trimmed();
    }

    QTemporaryDir dir;
    uid_t nobody = 0;
    QByteArray nobodyHome;
    uid_t displayOwner = 0;
    const QUrl address{QStringLiteral("https://dl.example/velmora 1.1.zip?a=b")};
};

TEST_F(XdgUrlOpenerTest, RootOpensForTheInvokingUserOnly) {
    const QString bus = QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=%1/bus")
                            .arg(path(QStringLiteral("run/%1").arg(nobody)));
    const QString nobodyId = QString::number(nobody);
    const struct {
        QStringList variables;
        std::optional<uid_t> user;
    } cases[] = {
        {{"PKEXEC_UID=" + nobodyId}, nobody},    {{"PKEXEC_UID=" + nobodyId, "SUDO_UID=0"}, nobody},
        {{"SUDO_UID=" + nobodyId}, nobody},      {{}, displayOwner},
        {{"DISPLAY=:8"}, std::nullopt},  // no socket: nobody to ask
        {{"DISPLAY=otherhost:7"}, std::nullopt}, {{"PKEXEC_UID=0"}, std::nullopt},
        {{"PKEXEC_UID=3999999"}, std::nullopt},  // nobody has that number
    };
    for (const auto &c : cases) {
        const auto command = XdgUrlOpener::commandFor(address, context(0, c.variables));
        const std::string label = c.variables.join(' ').toStdString();
        ASSERT_EQ(command.has_value(), c.user.has_value()) << label;
        if (!command) continue;
        EXPECT_EQ(command->program, path(QStringLiteral("xdg-open")));
        EXPECT_EQ(command->arguments, QStringList(address.toString(QUrl::FullyEncoded)));
        ASSERT_TRUE(command->user) << label;
        EXPECT_EQ(command->user->uid, *c.user) << label;
        EXPECT_NE(command->user->uid, 0u);
        const QStringList &env = command->environment;
        EXPECT_TRUE(env.contains(QStringLiteral("DISPLAY=:7"))) << label;
        EXPECT_TRUE(env.contains(QStringLiteral("XAUTHORITY=/home/x/.Xauthority"))) << label;
        EXPECT_EQ(env.contains(bus), *c.user == nobody) << label;
        EXPECT_FALSE(env.join(' ').contains(QStringLiteral("PKEXEC_UID"))) << label;
    }
}

TEST_F(XdgUrlOpenerTest, OnlyWebAddressesAndOnlyWithXdgOpen) {
    const char *addresses[] = {"file:///etc/passwd", "javascript:alert(1)",
                               "ftp://dl.example/x", "http://",
                               "velmora/info.php",   ""};
    for (const char *a : addresses) {
        for (const uid_t euid : {uid_t(0), uid_t(1000)}) {
            EXPECT_FALSE(XdgUrlOpener::commandFor(QUrl(a), context(euid, {"PKEXEC_UID=1000"})))
                << a;
        }
    }
    QString whyNot;
    EXPECT_FALSE(XdgUrlOpener::commandFor(address, context(1000, {"PATH=/nonexistent"}), &whyNot));
    EXPECT_EQ(whyNot, QStringLiteral("xdg-open is not installed"));
    const auto plain = XdgUrlOpener::commandFor(address, context(1000, {}));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->user) << "an ordinary user opens as itself";
    EXPECT_EQ(plain->environment, context(1000, {}).environment.toStringList());
}

TEST_F(XdgUrlOpenerTest, RunsAsTheInvokingUserWithNothingOfOurs) {
    if (geteuid() != 0) GTEST_SKIP() << "changing users needs root";
    const int inherited = ::open("/dev/null", O_RDONLY);  // not close-on-exec
    ASSERT_GE(inherited, 3);
    XdgUrlOpener opener(context(0, {QStringLiteral("PKEXEC_UID=%1").arg(nobody)}));
    opener.openUrl(address);
    const QString seen = report();
    ::close(inherited);
    EXPECT_TRUE(seen.startsWith(QStringLiteral("%1 %2 %3 fds: ")
                                    .arg(nobody)
                                    .arg(QString::fromLocal8Bit(nobodyHome))
                                    .arg(address.toString(QUrl::FullyEncoded))))
        << seen.toStdString();
    EXPECT_FALSE(
        seen.section(QStringLiteral("fds: "), 1).split(u' ').contains(QString::number(inherited)))
        << seen.toStdString();
}

}  // namespace
