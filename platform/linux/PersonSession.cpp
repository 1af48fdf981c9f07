#include "platform/linux/PersonSession.h"

#include <QFileInfo>
#include <QObject>
#include <QString>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

Failure systemFailure(const char *what) {
    const int error = errno;
    return {QObject::tr("Cannot give up administrator rights (%1): %2")
                .arg(QString::fromLatin1(what), QString::fromLocal8Bit(strerror(error))),
            error};
}

std::optional<uid_t> parseUid(const QByteArray &text) {
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || text.isEmpty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        value >= qulonglong(uid_t(-1)))
        return std::nullopt;
    return uid_t(value);
}

// Only what the person owns may stand for their runtime folder or session bus.
bool ownedBy(const QByteArray &path, uid_t uid, mode_t type) {
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && (status.st_mode & S_IFMT) == type &&
           status.st_uid == uid;
}

}  // namespace

Result<std::optional<PersonSession::Person>> PersonSession::invokingPerson() {
    if (geteuid() != 0) return std::optional<Person>();
    QByteArray variable = "PKEXEC_UID";
    QByteArray text = qgetenv(variable);
    if (text.isEmpty()) text = qgetenv(variable = "SUDO_UID");
    if (text.isEmpty()) return std::optional<Person>();
    const std::optional<uid_t> uid = parseUid(text);
    if (!uid)
        return Failure{QObject::tr("%1 is not a user id: %2")
                           .arg(QString::fromLatin1(variable), QString::fromLocal8Bit(text))};
    if (*uid == 0) return std::optional<Person>();
    passwd entry{}, *found = nullptr;
    std::vector<char> buffer(16384);
    getpwuid_r(*uid, &entry, buffer.data(), buffer.size(), &found);
    if (!found)
        return Failure{QObject::tr("There is no user with id %1 (from %2).")
                           .arg(*uid)
                           .arg(QString::fromLatin1(variable))};
    return std::optional<Person>(Person{*uid, found->pw_gid, found->pw_name, found->pw_dir});
}

Result<void> PersonSession::become(const Person &person) {
    if (auto dropped = dropPrivileges(person); !dropped) return dropped;
    for (const auto &[name, value] : environmentFor(person)) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
    return {};
}

Result<void> PersonSession::dropPrivileges(const Person &person) {
    if (initgroups(person.name.constData(), person.gid) != 0) return systemFailure("initgroups");
    if (setresgid(person.gid, person.gid, person.gid) != 0) return systemFailure("setresgid");
    if (setresuid(person.uid, person.uid, person.uid) != 0) return systemFailure("setresuid");
    uid_t real, effective, saved;
    getresuid(&real, &effective, &saved);
    // Checked, not assumed: a process that could still become root must not go on.
    if (real != person.uid || effective != person.uid || saved != person.uid ||
        getegid() != person.gid || setuid(0) == 0 || seteuid(0) == 0)
        return Failure{QObject::tr("Administrator rights could not be given up for good.")};
    return {};
}

std::vector<PersonSession::EnvironmentChange> PersonSession::environmentFor(
    const Person &person, const QByteArray &runtimeRoot) {
    std::vector<EnvironmentChange> changes{{"HOME", person.home},
                                           {"USER", person.name},
                                           {"LOGNAME", person.name}};
    const QByteArray runtime = runtimeRoot + '/' + QByteArray::number(person.uid);
    const bool hasRuntime = ownedBy(runtime, person.uid, S_IFDIR);
    changes.push_back(
        {"XDG_RUNTIME_DIR", hasRuntime ? std::optional<QByteArray>(runtime) : std::nullopt});
    const QByteArray bus = runtime + "/bus";
    if (hasRuntime && ownedBy(bus, person.uid, S_IFSOCK))
        changes.push_back({"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + bus});
    const QByteArray xauthority = person.home + "/.Xauthority";
    if (qEnvironmentVariableIsEmpty("XAUTHORITY") &&
        QFileInfo::exists(QString::fromLocal8Bit(xauthority)))
        changes.push_back({"XAUTHORITY", xauthority});
    // pkexec passes DISPLAY but nothing that would let Qt pick another windowing system.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        changes.push_back({"QT_QPA_PLATFORM", "xcb"});
    return changes;
}
