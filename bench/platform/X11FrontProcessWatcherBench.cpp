// The front-name lookup the tap makes for every key event, on a watcher connected to a
// private Xvfb with a window in front.
#include "platform/linux/X11FrontProcessWatcher.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

void lookup(benchmark::State &state, const FrontProcessSource *source) {
    for (auto _ : state) benchmark::DoNotOptimize(source->frontProcessName());
}

// What the remapping decision does with the name: a literal prefix test.
void lookupAndPrefixTest(benchmark::State &state, const FrontProcessSource *source) {
    for (auto _ : state)
        benchmark::DoNotOptimize(source->frontProcessName().startsWith(u"Warcraft III"));
}

// The peer: asking the server on every key event would cost at least one round trip.
void serverRoundTrip(benchmark::State &state, X11TestClient *client) {
    for (auto _ : state) client->sync();
}

bool waitForName(const X11FrontProcessWatcher &watcher) {
    QDeadlineTimer deadline(5000);
    while (watcher.frontProcessName().isNull() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return !watcher.frontProcessName().isNull();
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    XvfbServer server;
    if (!server.start()) {
        std::puts("skipped: Xvfb is not installed or did not start");
        return 0;
    }
    const QByteArray display = server.display().toLocal8Bit();
    X11TestClient client(display);
    const xcb_window_t window = client.createWindow();
    client.setWindowClass(window, QByteArray("war3\0Warcraft III\0", 18));
    client.activate(window);

    auto watcher = X11FrontProcessWatcher::create(display);
    if (!watcher || !waitForName(**watcher)) {
        std::printf("skipped: the watcher did not report a name (%s)\n",
                    watcher ? "none in time" : qPrintable(watcher.failure().message));
        return 0;
    }
    benchmark::RegisterBenchmark("FrontProcessName/lookup", lookup, watcher->get());
    benchmark::RegisterBenchmark("FrontProcessName/lookupAndPrefixTest", lookupAndPrefixTest,
                                 watcher->get());
    benchmark::RegisterBenchmark("FrontProcessName/peerServerRoundTrip", serverRoundTrip, &client);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
