// Stands in for Velmora in the test virtual machine, without a window: started as root with
// PKEXEC_UID, it splits off the keyboard broker and becomes that person as Velmora does, then
// runs the real keyboard tap on the devices the broker hands over, with the application's
// callback (remapping on, Warcraft III in front, Q on slot 3). Says "ready" once tapping.
#include "platform/linux/BrokerClient.h"
#include "platform/linux/KeyboardTap.h"
#include "platform/linux/PrivilegeSplit.h"
#include "platform/linux/QuitSignalHandler.h"
#include "remap/EventCallback.h"
#include "tests/vm/FixedTapHost.h"

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
    FixedTapHost host;
    SlotCombos combos;
    combos[2] = {0, 12};  // Q
    host.setSlots(combos);
    selfPoint = &host;
    BrokerProcess::Started broker = split->take();
    auto tap =
        KeyboardTap::createWithBroker(std::make_unique<BrokerClient>(std::move(broker.socket),
                                                                     broker.pid),
                                      eventCallback, nullptr);
    if (!tap) {
        std::fprintf(stderr, "no tap: %s\n", qPrintable(tap.failure().message));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QuitSignalHandler quit;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, tap->get(), &KeyboardTap::shutdown);
    return app.exec();
}
