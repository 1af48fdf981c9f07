#include "platform/linux/PrivilegeSplit.h"
#include "platform/linux/QuitSignalHandler.h"
#include "platform/linux/broker/ProgramInfo.h"
#include "shell/AppDelegate.h"
#include "shell/SingleInstance.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

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

}  // namespace

int main(int argc, char **argv) {
    if (const auto answered = ProgramInfo::answer(argc, argv, Help, "Velmora " VELMORA_VERSION))
        return *answered;
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
