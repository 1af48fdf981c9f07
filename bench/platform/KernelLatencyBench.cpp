// Latency a forwarder adds on a real kernel: from a key event written to a "physical"
// keyboard (made through uhid) until its translation can be read from the forwarder's
// virtual device, one event at a time. Subjects, each its own processes as in real use: the
// smallest possible forwarder (minimal-forwarder.c), Debian's interception-tools, and the
// keyboard broker with a stand-in for the window's side (VelmoraTapPerson: remapping on, the
// game in front, Q on slot 3), on a plain key and on a slot key. Runs inside the test virtual
// machine: scripts/vm-bench.sh.
#include "bench/platform/LatencyPercentiles.h"
#include "platform/linux/broker/LinuxBrokerDevices.h"
#include "tests/vm/EventNodeReader.h"
#include "tests/vm/FakeKeyboard.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const QString KeyboardName = QStringLiteral("Velmora latency keyboard");
const QString VirtualKeyboard = QString::fromLatin1(LinuxBrokerDevices::VirtualKeyboardName);
constexpr int WarmUp = 100;

// Every round trip of every repetition, by subject.
std::map<std::string, std::vector<double>> results;
std::string selfPath;

// The subject under measurement, started on the keyboard's node; killed when done.
class Subject {
public:
    explicit Subject(const std::vector<std::string> &command) {
        m_pid = fork();
        if (m_pid != 0) return;
        // A group of its own, so that a pipeline of several programs ends as one.
        setpgid(0, 0);
        std::vector<char *> argv;
        for (const std::string &word : command) argv.push_back(const_cast<char *>(word.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ~Subject() {
        kill(-m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid;
};

QString awaitNode(const QString &name, const QString &except) {
    for (int i = 0; i < 400; ++i) {
        const QString node = EventNodeReader::nodeNamed(name, except);
        if (!node.isEmpty()) return node;
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

// Writes one key event and waits until `expected` comes out with the same value.
double roundTrip(FakeKeyboard &keyboard, int outputFd, uint16_t code, uint16_t expected,
                 int32_t value) {
    const auto start = Clock::now();
    keyboard.send(EV_KEY, code, value);
    input_event events[64];
    for (;;) {
        pollfd ready{outputFd, POLLIN, 0};
        if (poll(&ready, 1, 5000) <= 0) return -1;
        const ssize_t got = read(outputFd, events, sizeof(events));
        for (ssize_t i = 0; i < got / ssize_t(sizeof(input_event)); ++i)
            if (events[i].type == EV_KEY && events[i].code == expected && events[i].value == value)
                return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    }
}

void measure(benchmark::State &state, const char *label, const std::vector<std::string> &command,
             const QString &outputName, uint16_t code, uint16_t expected) {
    FakeKeyboard keyboard({.name = KeyboardName});
    std::vector<std::string> full = command;
    for (std::string &word : full)
        for (size_t at; (at = word.find("NODE")) != std::string::npos;)
            word.replace(at, 4, keyboard.devnode().toStdString());
    Subject subject(full);
    const QString node = awaitNode(outputName, keyboard.devnode());
    if (node.isEmpty()) return state.SkipWithError("the subject made no device");
    EventNodeReader output(node);
    std::vector<double> samples;
    int32_t value = 1;
    for (int i = 0; i < WarmUp; ++i, value = 1 - value)
        roundTrip(keyboard, output.fd(), code, expected, value);
    for (auto _ : state) {
        const double micros = roundTrip(keyboard, output.fd(), code, expected, value);
        if (micros < 0) return state.SkipWithError("an event did not come out");
        state.SetIterationTime(micros / 1e6);
        samples.push_back(micros);
        value = 1 - value;
    }
    results[label].insert(results[label].end(), samples.begin(), samples.end());
    LatencyPercentiles::report(state, std::move(samples));
}

// 5000 round trips for each subject, in repetitions that take turns, so that all the figures
// come from the same stretch of time on a machine shared with others.
constexpr int Events = 500, Repetitions = 10;

// A program carried in beside this one.
std::string beside(const char *name) { return selfPath.substr(0, selfPath.rfind('/') + 1) + name; }

void BM_MinimalForwarder(benchmark::State &state) {
    measure(state, "forwarder", {beside("minimal-forwarder"), "NODE"},
            QStringLiteral("minimal forwarder"), KEY_A, KEY_A);
}
void BM_InterceptionTools(benchmark::State &state) {
    measure(state, "interception", {"sh", "-c", "exec interception -g NODE | exec uinput -d NODE"},
            KeyboardName, KEY_A, KEY_A);
}
void BM_TapPlainKey(benchmark::State &state) {
    measure(state, "tap plain", {beside("VelmoraTapPerson")}, VirtualKeyboard, KEY_A, KEY_A);
}
void BM_TapSlotKey(benchmark::State &state) {
    measure(state, "tap slot", {beside("VelmoraTapPerson")}, VirtualKeyboard, KEY_Q, KEY_KP4);
}
BENCHMARK(BM_MinimalForwarder)->UseManualTime()->Iterations(Events)->Repetitions(Repetitions);
BENCHMARK(BM_InterceptionTools)->UseManualTime()->Iterations(Events)->Repetitions(Repetitions);
BENCHMARK(BM_TapPlainKey)->UseManualTime()->Iterations(Events)->Repetitions(Repetitions);
BENCHMARK(BM_TapSlotKey)->UseManualTime()->Iterations(Events)->Repetitions(Repetitions);

void printRatios() {
    const auto forwarder = results.find("forwarder");
    if (forwarder == results.end()) return;
    const LatencyPercentiles peer = LatencyPercentiles::of(forwarder->second);
    for (const auto &[label, samples] : results) {
        const LatencyPercentiles p = LatencyPercentiles::of(samples);
        std::printf("%-13s p50 %8.1f us (%.2fx)   p99 %8.1f us (%.2fx the minimal forwarder)\n",
                    label.c_str(), p.p50, p.p50 / peer.p50, p.p99, p.p99 / peer.p99);
    }
}

}  // namespace

int main(int argc, char **argv) {
    char path[4096] = {};
    if (readlink("/proc/self/exe", path, sizeof(path) - 1) > 0) selfPath = path;
    // A flag given on the command line comes later and still decides.
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char *> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, interleave);
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    printRatios();
    benchmark::Shutdown();
    return 0;
}
