// Stands in for Velmora in the test virtual machine, without a window: started as root with
// PKEXEC_UID, it splits off the keyboard broker and becomes that person as Velmora does, then
// tells the broker's tap what the window would (remapping on, Warcraft III in front, Q on
// slot 3) and beats for it. Says "ready" once the broker taps.
#include "platform/linux/QuitSignalHandler.h"
#include "tests/keymap/PlayingState.h"
#include "tests/vm/TapPersonStart.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv) {
    TapPersonStart start;
    QCoreApplication app(argc, argv);
    const std::unique_ptr<BrokerTap> tap = start.tap();
    tap->setRemapState(qOnSlot3());
    std::printf("ready\n");
    std::fflush(stdout);
    QuitSignalHandler quit;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, tap.get(), &BrokerTap::shutdown);
    return app.exec();
}
