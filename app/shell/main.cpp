#include "platform/linux/BrokerProcess.h"
#include "platform/linux/PersonSession.h"
#include "platform/linux/QuitSignalHandler.h"
#include "shell/AppDelegate.h"
#include "shell/SingleInstance.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// Before anything of Qt: the broker is forked while this is the only thread and this
// process still has the rights it was started with; then this process becomes the person
// it was started for.
std::optional<BrokerProcess::Started> splitPrivileges() {
    auto person = PersonSession::invokingPerson();
    if (!person) {
        std::fprintf(stderr, "Velmora: %s\n", qPrintable(person.failure().message));
        std::exit(1);
    }
    auto broker = BrokerProcess::start(BrokerProcess::besideExecutable());
    if (!broker) std::fprintf(stderr, "Velmora: %s\n", qPrintable(broker.failure().message));
    if (person->has_value()) {
        if (const auto became = PersonSession::become(**person); !became) {
            std::fprintf(stderr, "Velmora: %s\n", qPrintable(became.failure().message));
            std::exit(1);
        }
    }
    if (!broker) return std::nullopt;
    return broker.take();
}

}  // namespace

int main(int argc, char **argv) {
    std::optional<BrokerProcess::Started> broker = splitPrivileges();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    // Closing the window leaves Velmora remapping; the tray or a second start brings it back.
    QApplication::setQuitOnLastWindowClosed(false);

    auto path = SingleInstance::defaultPath();
    SingleInstance instance(path ? *path : QString());
    if (!path)
        qInfo("no single-instance socket: %s", qPrintable(path.failure().message));
    else if (instance.handOverToRunning())
        return SingleInstance::HandedOverExitStatus;
    else if (const auto listening = instance.listen(); !listening)
        qInfo("a second start cannot reach this one: %s", qPrintable(listening.failure().message));

    AppDelegate delegate(AppDelegate::linuxPlatform());
    QuitSignalHandler quitSignals;
    QObject::connect(&instance, &SingleInstance::reopenRequested, &delegate, [&delegate] {
        delegate.applicationShouldHandleReopen(delegate.window() && delegate.window()->isVisible());
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::shutdown);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return app.exec();
}
