#pragma once

#include "platform/Result.h"

#include <QString>

#include <sys/types.h>
#include <optional>

// A folder only this user can enter, for sockets a second start must find: the session's
// $XDG_RUNTIME_DIR when it is ours alone, else a folder of our own under the temporary
// folder, made on first use and removed by release() once empty. Anything owned by someone
// else, open to others, or a symbolic link is refused, so that no other user can put a
// socket where we look for ours.
class RuntimeDirectory {
public:
    static Result<QString> forCurrentUser(const QString &temporaryRoot = QStringLiteral("/tmp"));
    // Removes `directory` when it is our own folder under the temporary folder and empty;
    // the session's runtime folder is never touched.
    static void release(const QString &directory,
                        const QString &temporaryRoot = QStringLiteral("/tmp"));
    // The user id of the process at the other end of a connected local socket.
    static std::optional<uid_t> peerUid(int socketFd);

private:
    static QString ownFolder(const QString &temporaryRoot);
    static bool isPrivate(const QString &path);
};
