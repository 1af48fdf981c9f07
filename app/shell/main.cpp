#include "platform/linux/PersonSession.h"
#include "platform/linux/PrivilegeSplit.h"
#include "platform/linux/QuitSignalHandler.h"
#include "platform/linux/broker/ProgramInfo.h"
#include "shell/AppDelegate.h"
#include "shell/SingleInstance.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace {

constexpr const char *Help =
    "Usage: Velmora [Qt options]\n"
    "Remaps six keys of your choice to Warcraft III's inventory keys (keypad 7, 8, 4, 5, 1, 2)\n"
    "while the game is in front. Start it with Velmora Launcher, or as root through sudo: only\n"
    "its keyboard broker keeps root, and its window runs as you. Started without root, its\n"
    "window says what is missing.\n"
    "  --help     show this text\n"
    "  --version  show Velmora's version";

// A second start hands over to the running Velmora before it makes a broker. The running one
// answers its own user only, so the question is asked by a child that becomes the person.
bool handedOverBeforeTheSplit(int argc, char **argv) {
    const pid_t child = fork();
    if (child == 0) {
        auto person = PersonSession::invokingPerson();
        if (!person || (person->has_value() && !PersonSession::become(**person))) _exit(1);
        QCoreApplication app(argc, argv);
        auto path = SingleInstance::defaultPath();
        _exit(path && SingleInstance(*path).handOverToRunning()
                  ? SingleInstance::HandedOverExitStatus
                  : 0);
    }
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) == -1 && errno == EINTR) {
    }
    return child > 0 && WIFEXITED(status) &&
           WEXITSTATUS(status) == SingleInstance::HandedOverExitStatus;
}

}  // namespace

int main(int argc, char **argv) {
    if (const auto answered = ProgramInfo::answer(argc, argv, Help, "Velmora " VELMORA_VERSION))
        return *answered;
    if (handedOverBeforeTheSplit(argc, argv)) return SingleInstance::HandedOverExitStatus;
    // Before anything of Qt: only the broker keeps the rights this process was started with.
    auto split = PrivilegeSplit::perform(BrokerProcess::besideExecutable());
    if (!split) {
        std::fprintf(stderr, "Velmora: %s\n", qPrintable(split.failure().message));
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    // Closing the window leaves Velmora remapping where a tray or a second start can bring it
    // back; the delegate asks to quit where there is no tray.
    QApplication::setQuitOnLastWindowClosed(false);

    auto path = SingleInstance::defaultPath();
    SingleInstance instance(path ? *path : QString());
    // Two starts at once both pass the question before the split; the later one hands over here.
    if (!path)
        qInfo("no single-instance socket: %s", qPrintable(path.failure().message));
    else if (instance.handOverToRunning())
        return SingleInstance::HandedOverExitStatus;
    else if (const auto listening = instance.listen(); !listening)
        qInfo("a second start cannot reach this one: %s", qPrintable(listening.failure().message));

    AppDelegate delegate(AppDelegate::linuxPlatform(split.take()));
    QuitSignalHandler quitSignals;
    QObject::connect(&instance, &SingleInstance::reopenRequested, &delegate, [&delegate] {
        delegate.applicationShouldHandleReopen(delegate.window() && delegate.window()->isVisible());
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::shutdown);
    QObject::connect(&delegate, &AppDelegate::quitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
