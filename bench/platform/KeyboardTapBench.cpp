// Latency of the keyboard tap: from a key frame written into a keyboard's pipe to its
// translation read from the virtual keyboard's pipe, through the Qt event loop, next to
// a plain forwarder that does the same reads and writes with no translation, and next to the
// same tap with the stall guard it has on the broker's devices.
#include "bench/platform/LatencyPercentiles.h"
#include "platform/KeyboardEvent.h"
#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerStallGuard.h"
#include "platform/linux/InputEvent.h"
#include "platform/linux/KeyboardTap.h"
#include "platform/linux/PipeKeyboardSource.h"
#include "platform/linux/PipeSink.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t VirtualQ = 12, VirtualKeypad4 = 86;

std::map<std::string, LatencyPercentiles> results;

// Stands in for the application's callback: one slot, Q to keypad 4.
TapEvent *remapQ(void *, uint32_t type, TapEvent *event, void *) {
    if ((type != TapEvent::KeyDown && type != TapEvent::KeyUp) || event->keyCode() != VirtualQ)
        return event;
    return new KeyboardEvent(VirtualKeypad4, type == TapEvent::KeyDown);
}

input_event event(uint16_t type, uint16_t code, int32_t value) {
    return makeInputEvent(type, code, value);
}

// Writes one key frame, runs the event loop until the frame's two records come out,
// and returns how long that took.
double roundTrip(int inputFd, int outputFd, int32_t value) {
    const input_event frame[] = {event(EV_KEY, KEY_Q, value), event(EV_SYN, SYN_REPORT, 0)};
    input_event received[8];
    size_t got = 0;
    const auto start = Clock::now();
    if (::write(inputFd, frame, sizeof(frame)) != ssize_t(sizeof(frame))) return 0;
    while (got < sizeof(frame)) {
        QCoreApplication::processEvents();
        const ssize_t n =
            ::read(outputFd, reinterpret_cast<char *>(received) + got, sizeof(received) - got);
        if (n > 0) got += size_t(n);
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void measure(benchmark::State &state, const char *label, int inputFd, int outputFd) {
    std::vector<double> samples;
    int32_t value = 1;
    for (auto _ : state) {
        const double micros = roundTrip(inputFd, outputFd, value);
        state.SetIterationTime(micros / 1e6);
        samples.push_back(micros);
        value = 1 - value;
    }
    results[label] = LatencyPercentiles::report(state, std::move(samples));
}

void BM_PlainForwarder(benchmark::State &state) {
    int input[2], output[2];
    if (pipe2(input, O_NONBLOCK) != 0 || pipe2(output, O_NONBLOCK) != 0) return;
    QSocketNotifier notifier(input[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(input[0], buffer, sizeof(buffer));
        if (n > 0 && ::write(output[1], buffer, size_t(n)) != n) state.SkipWithError("write");
    });
    measure(state, "forwarder", input[1], output[0]);
    for (int fd : {input[0], input[1], output[0], output[1]}) ::close(fd);
}

void BM_KeyboardTap(benchmark::State &state) {
    auto sink = std::make_unique<PipeSink>();
    const int outputFd = sink->outputFd();
    KeyboardTap tap(std::move(sink), &remapQ, nullptr);
    auto keyboard = std::make_unique<PipeKeyboardSource>();
    keyboard->setLed(LED_NUML, true);
    const int inputFd = keyboard->writeFd();
    tap.addKeyboard(std::move(keyboard));
    measure(state, "tap", inputFd, outputFd);
}

// The same tap with the stall guard Velmora uses on the broker's devices: it beats for a
// broker (here a socket nobody reads) as well as for its own watchdog.
void BM_KeyboardTapWithBrokerGuard(benchmark::State &state) {
    UniqueFd ours, theirs;
    if (!BrokerChannel::makePair(ours, theirs)) return;
    BrokerClient broker(std::move(ours), -1);
    auto sink = std::make_unique<PipeSink>();
    const int outputFd = sink->outputFd();
    KeyboardTap tap(std::move(sink), &remapQ, nullptr, KeyboardTap::DefaultStallLimit,
                    [&](std::function<void()> onStall) {
                        return std::make_unique<BrokerStallGuard>(broker,
                                                                  KeyboardTap::DefaultStallLimit,
                                                                  std::move(onStall));
                    });
    auto keyboard = std::make_unique<PipeKeyboardSource>();
    keyboard->setLed(LED_NUML, true);
    const int inputFd = keyboard->writeFd();
    tap.addKeyboard(std::move(keyboard));
    measure(state, "tap with broker guard", inputFd, outputFd);
}

BENCHMARK(BM_PlainForwarder)->UseManualTime()->Iterations(20000);
BENCHMARK(BM_KeyboardTap)->UseManualTime()->Iterations(20000);
BENCHMARK(BM_KeyboardTapWithBrokerGuard)->UseManualTime()->Iterations(20000);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const auto forwarder = results.find("forwarder");
    const auto tap = results.find("tap");
    const auto guarded = results.find("tap with broker guard");
    if (forwarder != results.end() && tap != results.end())
        std::printf("Added by the tap: p50 %.2f us, p99 %.2f us\n",
                    tap->second.p50 - forwarder->second.p50,
                    tap->second.p99 - forwarder->second.p99);
    if (tap != results.end() && guarded != results.end())
        std::printf("Added by the broker's stall guard: p50 %.2f us, p99 %.2f us\n",
                    guarded->second.p50 - tap->second.p50, guarded->second.p99 - tap->second.p99);
    benchmark::Shutdown();
    return 0;
}
