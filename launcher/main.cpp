#include "launcher/AppDelegate.h"
#include "launcher/LauncherWindow.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return std::printf("Velmora Launcher %s\n", VELMORA_VERSION) < 0 ? 1 : 0;
    // An ignored SIGCHLD, inherited from whatever started us, would have the kernel collect
    // Velmora unseen: its start would look failed and its end would come at once.
    std::signal(SIGCHLD, SIG_DFL);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora Launcher"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/launcher/velmora.png")));
    LauncherWindow window;
    AppDelegate delegate;
    delegate.setWindow(&window);
    // Once the event loop runs, the launcher has finished launching.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
