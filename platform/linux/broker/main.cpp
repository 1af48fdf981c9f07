// VelmoraBroker: the privileged part of Velmora, started by Velmora itself (never by hand) with
// its end of the broker socket as descriptor 3. Of root it keeps its uid and nothing else: it
// works from "/" with no new privileges, and drops every capability once /dev/uinput is open;
// uid 0 owns the /dev/input nodes of keyboards plugged in later, so it can still open them
// (BrokerPrivileges says more).
#include "platform/linux/broker/BrokerLog.h"
#include "platform/linux/broker/BrokerPrivileges.h"
#include "platform/linux/broker/KeyboardBroker.h"
#include "platform/linux/broker/LinuxBrokerDevices.h"
#include "platform/linux/broker/LogindSeat.h"
#include "platform/linux/broker/ProgramInfo.h"

#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

namespace {

constexpr int SocketFd = 3;

constexpr const char *Help =
    "Usage: VelmoraBroker\n"
    "The keyboard broker of Velmora: the only part of it that keeps root. It opens the keyboards\n"
    "and /dev/uinput and hands them to Velmora over the socket it is given as descriptor 3.\n"
    "Velmora starts it from its own folder; it is not started by hand.";

// SIGTERM and friends end the broker through its loop, so that it lets go on the way out.
UniqueFd stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return UniqueFd(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
}

void dropPrivileges() {
    if (!BrokerPrivileges::dropCapabilities() && geteuid() == 0)
        brokerLog("could not drop every capability");
}

}  // namespace

int main(int argc, char **argv) {
    if (const auto answered =
            ProgramInfo::answer(argc, argv, Help, "VelmoraBroker " VELMORA_VERSION))
        return *answered;
    struct stat status {};
    if (fstat(SocketFd, &status) != 0 || !S_ISSOCK(status.st_mode)) {
        std::fprintf(stderr, "VelmoraBroker is started by Velmora, not by hand.\n");
        return 2;
    }
    if (!BrokerPrivileges::confine()) brokerLog("could not confine itself");
    // Diagnostics go to whatever Velmora's error output was; once that is gone, a write must
    // fail, not end the broker before it has let go.
    std::signal(SIGPIPE, SIG_IGN);
    const UniqueFd stop = stopSignals();
    KeyboardBroker broker(UniqueFd(SocketFd), std::make_unique<LinuxBrokerDevices>(),
                          std::make_unique<LogindSeat>(), dropPrivileges);
    broker.run(stop.get());
    return 0;
}
