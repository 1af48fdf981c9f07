// Stands in for Velmora in the test virtual machine, without a window: started as root with
// PKEXEC_UID, it splits off the keyboard broker and becomes that person as Velmora does, then
// tells the broker's tap what the window would (remapping on, Warcraft III in front, Q on
// slot 3) and beats for it. Says "ready" once the broker taps.
#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerTap.h"
#include "platform/linux/PrivilegeSplit.h"
#include "platform/linux/QuitSignalHandler.h"
#include "tests/keymap/PlayingState.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv) {
    auto split = PrivilegeSplit::perform(BrokerProcess::besideExecutable());
    if (!split || !split->ok()) {
        std::fprintf(stderr, "cannot split: %s\n",
                     qPrintable(split ? split->failure().message : split.failure().message));
        return 1;
    }
    QCoreApplication app(argc, argv);
    BrokerProcess::Started broker = split->take();
    auto tap =
        BrokerTap::create(std::make_unique<BrokerClient>(std::move(broker.socket), broker.pid));
    if (!tap) {
        std::fprintf(stderr, "no tap: %s\n", qPrintable(tap.failure().message));
        return 1;
    }
    (*tap)->setRemapState(qOnSlot3());
    std::printf("ready\n");
    std::fflush(stdout);
    QuitSignalHandler quit;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, tap->get(), &BrokerTap::shutdown);
    return app.exec();
}
