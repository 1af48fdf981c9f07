#include "AppDelegate.h"
#include "LauncherWindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora Launcher"));
    LauncherWindow window;
    AppDelegate delegate;
    delegate.setWindow(&window);
    // Once the event loop runs, the launcher has finished launching.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
