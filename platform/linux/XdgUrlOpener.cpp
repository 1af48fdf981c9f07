#include "platform/linux/XdgUrlOpener.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

const QString SafePath = QStringLiteral("/usr/local/bin:/usr/bin:/bin");

std::optional<XdgUrlOpener::Command> refuse(QString *whyNot, const QString &reason) {
    if (whyNot) *whyNot = reason;
    return std::nullopt;
}

// The owner of the socket of a display on this machine (":N", ":N.S", "unix:N").
std::optional<uid_t> displayOwner(const XdgUrlOpener::Context &context) {
    static const QRegularExpression local(QStringLiteral(R"(^(?:unix)?:(\d+)(?:\.\d+)?$)"));
    const auto match = local.match(context.environment.value(QStringLiteral("DISPLAY")));
    if (!match.hasMatch()) return std::nullopt;
    struct stat status;
    const QString socket = context.x11SocketDirectory + QStringLiteral("/X") + match.captured(1);
    if (lstat(QFile::encodeName(socket).constData(), &status) != 0) return std::nullopt;
    return status.st_uid;
}

std::optional<uid_t> invokingUid(const XdgUrlOpener::Context &context) {
    for (const char *name : {"PKEXEC_UID", "SUDO_UID"}) {
        bool ok = false;
        const uint uid = context.environment.value(QString::fromLatin1(name)).toUInt(&ok);
        if (ok) return uid_t(uid);
    }
    return displayOwner(context);
}

std::optional<XdgUrlOpener::User> lookUpUser(uid_t uid) {
    std::vector<char> buffer(65536);
    passwd entry;
    passwd *found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    XdgUrlOpener::User user{uid, entry.pw_gid, entry.pw_name, entry.pw_dir, std::vector<gid_t>(64)};
    int count = int(user.groups.size());
    if (getgrouplist(entry.pw_name, entry.pw_gid, user.groups.data(), &count) < 0) {
        user.groups.resize(size_t(count));
        getgrouplist(entry.pw_name, entry.pw_gid, user.groups.data(), &count);
    }
    user.groups.resize(size_t(count));
    return user;
}

QStringList userEnvironment(const XdgUrlOpener::User &user, const XdgUrlOpener::Context &context) {
    const QString name = QString::fromLocal8Bit(user.name);
    QStringList environment = {QStringLiteral("HOME=") + QString::fromLocal8Bit(user.home),
                               QStringLiteral("USER=") + name, QStringLiteral("LOGNAME=") + name,
                               QStringLiteral("PATH=") + SafePath};
    for (const char *kept : {"DISPLAY", "XAUTHORITY", "LANG", "LANGUAGE", "LC_ALL"}) {
        const QString key = QString::fromLatin1(kept);
        if (context.environment.contains(key))
            environment << key + u'=' + context.environment.value(key);
    }
    const QString runtime = context.runtimeDirectoryRoot + u'/' + QString::number(user.uid);
    if (QFileInfo::exists(runtime + QStringLiteral("/bus")))
        environment << QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=%1/bus").arg(runtime);
    if (QFileInfo(runtime).isDir()) environment << QStringLiteral("XDG_RUNTIME_DIR=") + runtime;
    return environment;
}

// What the child needs, made before fork: afterwards only async-signal-safe calls.
struct Prepared {
    explicit Prepared(const XdgUrlOpener::Command &command) : user(command.user) {
        strings.push_back(QFile::encodeName(command.program));
        for (const QString &argument : command.arguments) strings.push_back(argument.toLocal8Bit());
        argumentCount = strings.size();
        for (const QString &variable : command.environment)
            strings.push_back(variable.toLocal8Bit());
        for (size_t i = 0; i < strings.size(); ++i) {
            (i < argumentCount ? argv : envp).push_back(strings[i].data());
        }
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        maximumDescriptor = int(sysconf(_SC_OPEN_MAX));
    }
    std::optional<XdgUrlOpener::User> user;
    std::vector<QByteArray> strings;
    size_t argumentCount = 0;
    std::vector<char *> argv;
    std::vector<char *> envp;
    int maximumDescriptor;
};

// In the child: a clean slate, then the person's identity, then xdg-open.
[[noreturn]] void execute(const Prepared &prepared) {
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &standard, nullptr);
    const int null = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3 && null >= 0; ++fd) dup2(null, fd);
    if (close_range(3, ~0U, 0) != 0)
        for (int fd = 3; fd < prepared.maximumDescriptor; ++fd) close(fd);
    if (const auto &user = prepared.user) {
        if (setgroups(user->groups.size(), user->groups.data()) != 0 || setgid(user->gid) != 0 ||
            setuid(user->uid) != 0 || setuid(0) == 0)
            _exit(126);
        if (chdir(user->home.constData()) != 0 && chdir("/") != 0) _exit(126);
    }
    execve(prepared.argv[0], prepared.argv.data(), prepared.envp.data());
    _exit(127);
}

}  // namespace

XdgUrlOpener::Context XdgUrlOpener::Context::current() {
    return {geteuid(), QProcessEnvironment::systemEnvironment()};
}

XdgUrlOpener::XdgUrlOpener(Context context) : m_context(std::move(context)) {}

void XdgUrlOpener::openUrl(const QUrl &url) {
    QString whyNot;
    const auto command = commandFor(url, m_context, &whyNot);
    if (!command) {
        qInfo("not opening %s: %s", qUtf8Printable(url.toDisplayString()), qUtf8Printable(whyNot));
    } else if (!run(*command)) {
        qInfo("could not start %s: %s", qPrintable(command->program), strerror(errno));
    }
}

std::optional<XdgUrlOpener::Command> XdgUrlOpener::commandFor(const QUrl &url,
                                                              const Context &context,
                                                              QString *whyNot) {
    if (!isWebAddress(url))
        return refuse(whyNot, QStringLiteral("only http and https addresses are opened"));
    const QString path = context.environment.value(QStringLiteral("PATH"), SafePath);
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("xdg-open"), path.split(u':'));
    if (program.isEmpty()) return refuse(whyNot, QStringLiteral("xdg-open is not installed"));
    Command command{program, {url.toString(QUrl::FullyEncoded)}, {}, std::nullopt};
    if (context.euid != 0) {
        command.environment = context.environment.toStringList();
        return command;
    }
    const auto uid = invokingUid(context);
    if (!uid || *uid == 0) return refuse(whyNot, QStringLiteral("nobody but root to open it for"));
    command.user = lookUpUser(*uid);
    if (!command.user) return refuse(whyNot, QStringLiteral("user %1 is unknown").arg(*uid));
    command.environment = userEnvironment(*command.user, context);
    return command;
}

bool XdgUrlOpener::run(const Command &command) {
    const Prepared prepared(command);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        // The go-between leaves at once, so that the browser belongs to nobody here.
        if (fork() == 0) execute(prepared);
        _exit(0);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return true;
}
