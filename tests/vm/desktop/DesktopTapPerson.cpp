// Stands in for Velmora on the test desktop, without a window: as VelmoraTapPerson, but with
// the front application as X names it, Q W A S Z X on the six slots (keypad 7 8 4 5 1 2) and
// the switch, on at start, following the lines "on" and "off" on standard input. Says on standard
// output "ready" once the broker taps, "status TEXT" whenever the tap's status changes, "front
// NAME" whenever the front application changes and "switch on|off" once a line has taken effect.
// SIGTERM quits.
#include "platform/linux/QuitSignalHandler.h"
#include "platform/linux/X11FrontProcessWatcher.h"
#include "remap/RemapController.h"
#include "tests/vm/TapPersonStart.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>
#include <cstdio>

namespace {

void say(const QString &line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Virtual key codes of Z, X, A, S, Q, W for slots 1 to 6.
SlotCombos slotCombos() {
    SlotCombos combos;
    const int64_t keys[] = {6, 7, 0, 1, 12, 13};
    for (size_t slot = 0; slot < combos.size(); ++slot) combos[slot] = {0, keys[slot]};
    return combos;
}

}  // namespace

int main(int argc, char **argv) {
    TapPersonStart start;
    QCoreApplication app(argc, argv);
    auto front = X11FrontProcessWatcher::create();
    if (!front) {
        std::fprintf(stderr, "%s\n", qPrintable(front.failure().message));
        return 1;
    }
    const std::unique_ptr<BrokerTap> tap = start.tap();
    RemapController remap;
    remap.setRemapSwitch(true);
    remap.setSlotCombos(slotCombos());
    remap.setFrontProcessName((*front)->frontProcessName());
    remap.setSink([&tap](const RemapState &state) { tap->setRemapState(state); });
    QObject::connect(front->get(), &FrontProcessSource::frontProcessNameChanged,
                     [&remap](const QString &name) {
                         remap.setFrontProcessName(name);
                         say(QStringLiteral("front ") + name);
                     });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[16] = {};
        const ssize_t length = ::read(STDIN_FILENO, line, sizeof(line) - 1);
        if (length <= 0) return input.setEnabled(false);
        remap.setRemapSwitch(QByteArray(line, length).trimmed() == "on");
        say(remap.remapSwitch() ? QStringLiteral("switch on") : QStringLiteral("switch off"));
    });

    QObject::connect(tap.get(), &EventTap::statusChanged,
                     [&tap] { say(QStringLiteral("status ") + tap->statusText()); });
    say(QStringLiteral("ready"));
    say(QStringLiteral("front ") + (*front)->frontProcessName());
    QuitSignalHandler quit;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, tap.get(), &BrokerTap::shutdown);
    return app.exec();
}
