#include "platform/linux/RuntimeDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where a second start looks for the first one must be a folder no other user can write to.
TEST(RuntimeDirectoryTest, OnlyAFolderOfOurOwnIsUsed) {
    QTemporaryDir root;
    const QString own = root.filePath(QStringLiteral("velmora-%1").arg(geteuid()));
    const QString session = root.filePath(QStringLiteral("session"));
    const QString shared = root.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkdir(session) && QDir().mkdir(shared));
    chmod(QFile::encodeName(session).constData(), 0700);
    chmod(QFile::encodeName(shared).constData(), 0777);

    const struct {
        const char *what;
        QString runtimeDir;
        std::function<void()> prepare;
        QString expected;  // null: refused
    } cases[] = {
        {"the session's own runtime folder", session, [] {}, session},
        {"a runtime folder open to others", shared, [] {}, own},
        {"no runtime folder", QString(), [] {}, own},
        {"our fallback made open to others", QString(),
         [&] { chmod(QFile::encodeName(own).constData(), 0755); }, QString()},
        {"our fallback replaced by a link", QString(),
         [&] {
             QDir().rmdir(own);
             QFile::link(session, own);
         },
         QString()},
    };
    for (const auto &c : cases) {
        c.prepare();
        qputenv("XDG_RUNTIME_DIR", c.runtimeDir.toLocal8Bit());
        Result<QString> directory = RuntimeDirectory::forCurrentUser(root.path());
        if (c.expected.isNull()) {
            EXPECT_FALSE(directory.ok()) << c.what;
            continue;
        }
        ASSERT_TRUE(directory.ok()) << c.what << ": " << directory.failure().message.toStdString();
        EXPECT_EQ(*directory, c.expected) << c.what;
    }
    qunsetenv("XDG_RUNTIME_DIR");

    // Our own folder goes once empty; the session's never does.
    QFile::remove(own);
    ASSERT_TRUE(RuntimeDirectory::forCurrentUser(root.path()).ok());
    RuntimeDirectory::release(session, root.path());
    RuntimeDirectory::release(own, root.path());
    EXPECT_TRUE(QFileInfo::exists(session));
    EXPECT_FALSE(QFileInfo::exists(own));
}

}  // namespace
