#include "platform/linux/RuntimeDirectory.h"

#include <QFile>
#include <QObject>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

Result<QString> RuntimeDirectory::forCurrentUser(const QString &temporaryRoot) {
    const QString session = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!session.isEmpty() && isPrivate(session)) return session;
    const QString own = ownFolder(temporaryRoot);
    if (mkdir(QFile::encodeName(own).constData(), 0700) != 0 && errno != EEXIST) {
        const int error = errno;
        return Failure{QObject::tr("Cannot make %1: %2")
                           .arg(own, QString::fromLocal8Bit(strerror(error))),
                       error};
    }
    if (!isPrivate(own))
        return Failure{QObject::tr("%1 is not ours alone, so it is not used.").arg(own)};
    return own;
}

void RuntimeDirectory::release(const QString &directory, const QString &temporaryRoot) {
    // Fails, as it should, while another start of ours still has a socket there.
    if (directory == ownFolder(temporaryRoot)) rmdir(QFile::encodeName(directory).constData());
}

QString RuntimeDirectory::ownFolder(const QString &temporaryRoot) {
    return QStringLiteral("%1/velmora-%2").arg(temporaryRoot).arg(geteuid());
}

std::optional<uid_t> RuntimeDirectory::peerUid(int socketFd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials.uid;
}

bool RuntimeDirectory::isPrivate(const QString &path) {
    struct stat status {};
    return lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == geteuid() && (status.st_mode & 077) == 0;
}
