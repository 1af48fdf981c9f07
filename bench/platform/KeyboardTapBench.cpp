// Latency of the broker's keyboard tap: from a key frame written into a keyboard's pipe to its
// translation read from the virtual keyboard's pipe, through a poll loop as the broker runs it,
// next to a plain forwarder that polls, reads and writes the same with no translation.
#include "bench/platform/LatencyPercentiles.h"
#include "platform/linux/broker/InputEvent.h"
#include "platform/linux/broker/KeyboardEvent.h"
#include "platform/linux/broker/KeyboardTap.h"
#include "platform/linux/broker/PipeKeyboardSource.h"
#include "platform/linux/broker/PipeSink.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

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

// Writes one key frame, turns the loop until the frame's two records come out, and returns how
// long that took.
double roundTrip(int inputFd, int outputFd, int32_t value, const std::function<void()> &turn) {
    const input_event frame[] = {makeInputEvent(EV_KEY, KEY_Q, value),
                                 makeInputEvent(EV_SYN, SYN_REPORT, 0)};
    input_event received[8];
    size_t got = 0;
    const auto start = Clock::now();
    if (::write(inputFd, frame, sizeof(frame)) != ssize_t(sizeof(frame))) return 0;
    while (got < sizeof(frame)) {
        turn();
        const ssize_t n =
            ::read(outputFd, reinterpret_cast<char *>(received) + got, sizeof(received) - got);
        if (n > 0) got += size_t(n);
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void measure(benchmark::State &state, const char *label, int inputFd, int outputFd,
             const std::function<void()> &turn) {
    std::vector<double> samples;
    int32_t value = 1;
    for (auto _ : state) {
        const double micros = roundTrip(inputFd, outputFd, value, turn);
        state.SetIterationTime(micros / 1e6);
        samples.push_back(micros);
        value = 1 - value;
    }
    results[label] = LatencyPercentiles::report(state, std::move(samples));
}

void BM_PlainForwarder(benchmark::State &state) {
    int input[2], output[2];
    if (pipe2(input, O_NONBLOCK) != 0 || pipe2(output, O_NONBLOCK) != 0) return;
    measure(state, "forwarder", input[1], output[0], [&] {
        pollfd ready{input[0], POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0) return;
        char buffer[4096];
        const ssize_t n = ::read(input[0], buffer, sizeof(buffer));
        if (n > 0 && ::write(output[1], buffer, size_t(n)) != n) state.SkipWithError("write");
    });
    for (int fd : {input[0], input[1], output[0], output[1]}) ::close(fd);
}

void BM_KeyboardTap(benchmark::State &state) {
    auto sink = std::make_unique<PipeSink>();
    const int outputFd = sink->outputFd();
    KeyboardTap tap(
        std::move(sink), [] { return nullptr; }, &remapQ, nullptr);
    auto keyboard = std::make_unique<PipeKeyboardSource>();
    keyboard->setLed(LED_NUML, true);
    const int inputFd = keyboard->writeFd();
    tap.addKeyboard(std::move(keyboard));
    std::vector<pollfd> fds;
    measure(state, "tap", inputFd, outputFd, [&] {
        fds.clear();
        tap.fillPoll(fds);
        if (poll(fds.data(), fds.size(), 0) <= 0) return;
        tap.serve(fds);
        tap.beat(KeyboardTap::Clock::now());
    });
}

BENCHMARK(BM_PlainForwarder)->UseManualTime()->Iterations(20000);
BENCHMARK(BM_KeyboardTap)->UseManualTime()->Iterations(20000);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const auto forwarder = results.find("forwarder");
    const auto tap = results.find("tap");
    if (forwarder != results.end() && tap != results.end())
        std::printf("Added by the tap: p50 %.2f us, p99 %.2f us\n",
                    tap->second.p50 - forwarder->second.p50,
                    tap->second.p99 - forwarder->second.p99);
    benchmark::Shutdown();
    return 0;
}
