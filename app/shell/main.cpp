#include "platform/linux/QuitSignalHandler.h"
#include "platform/linux/RootSession.h"
#include "shell/AppDelegate.h"
#include "shell/SingleInstance.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char **argv) {
    // Before QApplication: it decides the windowing platform and runtime directory.
    RootSession rootSession;
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    // Closing the window leaves Velmora remapping where a tray or a second start can bring it
    // back; the delegate asks to quit where there is no tray.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance(SingleInstance::defaultKey());
    if (instance.handOverToRunning()) return 0;
    if (const auto listening = instance.listen(); !listening)
        qInfo("a second start cannot reach this one: %s", qPrintable(listening.failure().message));

    AppDelegate delegate(AppDelegate::linuxPlatform());
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
