#pragma once

#include "platform/UrlOpener.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <optional>
#include <vector>

// Opens web addresses with xdg-open. As an ordinary user it runs xdg-open as that user.
// As root it runs xdg-open as the person who started Velmora (PKEXEC_UID, else SUDO_UID,
// else the owner of the X display's socket) with that person's groups, home, display, X
// authority and session bus, and never as root: without such a person nothing opens. The
// browser inherits no open file of Velmora's. What would run is computed by commandFor
// without running it.
class XdgUrlOpener : public UrlOpener {
public:
    struct User {
        uid_t uid;
        gid_t gid;
        QByteArray name;
        QByteArray home;
        std::vector<gid_t> groups;  // as initgroups would set them
    };
    struct Command {
        QString program;
        QStringList arguments;
        QStringList environment;   // NAME=value: the whole environment of the child
        std::optional<User> user;  // none: this process's own user
    };
    // What the command is computed from.
    struct Context {
        uid_t euid;
        QProcessEnvironment environment;
        QString x11SocketDirectory = QStringLiteral("/tmp/.X11-unix");
        QString runtimeDirectoryRoot = QStringLiteral("/run/user");
        static Context current();
    };

    explicit XdgUrlOpener(Context context = Context::current());

    void openUrl(const QUrl &url) override;

    // None, with the reason in *whyNot, when nothing may or can be opened.
    static std::optional<Command> commandFor(const QUrl &url, const Context &context,
                                             QString *whyNot = nullptr);
    // Starts the command without waiting for it; false when no process could be made.
    static bool run(const Command &command);

private:
    Context m_context;
};
