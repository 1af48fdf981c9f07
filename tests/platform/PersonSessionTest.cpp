#include "platform/linux/PersonSession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>
#include <map>

namespace {

using Changes = std::map<QByteArray, std::optional<QByteArray>>;

Changes changesFor(const PersonSession::Person &person, const QByteArray &runtimeRoot) {
    Changes changes;
    for (const auto &[name, value] : PersonSession::environmentFor(person, runtimeRoot))
        changes[name] = value;
    return changes;
}

void makeSocket(const QString &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd);
}

// The person gets their own home, runtime folder, session bus and X authority, and never
// someone else's.
TEST(PersonSessionTest, ThePersonsEnvironmentIsTheirs) {
    QTemporaryDir root;
    const QByteArray home = QFile::encodeName(root.filePath(QStringLiteral("home")));
    const QByteArray runtimeRoot = QFile::encodeName(root.filePath(QStringLiteral("run")));
    const QByteArray runtime = runtimeRoot + '/' + QByteArray::number(geteuid());
    ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(home)) &&
                QDir().mkpath(QString::fromLocal8Bit(runtime)));
    QFile(QString::fromLocal8Bit(home + "/.Xauthority")).open(QIODevice::WriteOnly);
    makeSocket(QString::fromLocal8Bit(runtime + "/bus"));
    const PersonSession::Person person{geteuid(), getegid(), "player", home};
    qunsetenv("XAUTHORITY");
    qunsetenv("QT_QPA_PLATFORM");

    Changes changes = changesFor(person, runtimeRoot);
    EXPECT_EQ(changes["HOME"], home);
    EXPECT_EQ(changes["USER"], QByteArray("player"));
    EXPECT_EQ(changes["LOGNAME"], QByteArray("player"));
    EXPECT_EQ(changes["XDG_RUNTIME_DIR"], runtime);
    EXPECT_EQ(changes["DBUS_SESSION_BUS_ADDRESS"], "unix:path=" + runtime + "/bus");
    EXPECT_EQ(changes["XAUTHORITY"], home + "/.Xauthority");
    EXPECT_EQ(changes["QT_QPA_PLATFORM"], QByteArray("xcb"));

    qputenv("XAUTHORITY", "/run/user/1000/gdm/Xauthority");
    changes = changesFor(person, runtimeRoot + "/elsewhere");
    EXPECT_FALSE(changes.contains("XAUTHORITY")) << "the one pkexec passed on is kept";
    EXPECT_TRUE(changes.contains("XDG_RUNTIME_DIR") && !changes["XDG_RUNTIME_DIR"])
        << "root's runtime folder must not stay";
    EXPECT_FALSE(changes.contains("DBUS_SESSION_BUS_ADDRESS"));
    qunsetenv("XAUTHORITY");

    if (geteuid() == 0) {
        ASSERT_EQ(chown(runtime.constData(), 65534, 65534), 0);
        EXPECT_FALSE(changesFor(person, runtimeRoot)["XDG_RUNTIME_DIR"])
            << "a runtime folder of another user";
    }
}

TEST(PersonSessionTest, OnlyAUserOfThisMachineIsBecome) {
    if (geteuid() != 0) GTEST_SKIP() << "only root becomes anyone";
    const struct {
        QByteArray pkexecUid, sudoUid;
        bool ok;
        std::optional<uid_t> uid;
    } cases[] = {
        {"", "", true, std::nullopt},         // a root login
        {"0", "", true, std::nullopt},        // root asked for itself
        {"65534", "", true, 65534},           // nobody
        {"", "65534", true, 65534},           // through sudo
        {"65534x", "", false, std::nullopt},  // not a number
        {"-1", "", false, std::nullopt},
        {"3999999999", "", false, std::nullopt},  // nobody has it
    };
    for (const auto &c : cases) {
        qputenv("PKEXEC_UID", c.pkexecUid);
        qputenv("SUDO_UID", c.sudoUid);
        auto person = PersonSession::invokingPerson();
        ASSERT_EQ(person.ok(), c.ok) << c.pkexecUid.constData() << c.sudoUid.constData();
        if (!c.ok) continue;
        EXPECT_EQ(person->has_value() ? std::optional<uid_t>((*person)->uid) : std::nullopt, c.uid);
    }
    qunsetenv("PKEXEC_UID");
    qunsetenv("SUDO_UID");
}

}  // namespace
