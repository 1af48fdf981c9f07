#include "launcher/AppDelegate.h"
#include "launcher/LauncherWindow.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <csignal>

int main(int argc, char **argv) {
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
