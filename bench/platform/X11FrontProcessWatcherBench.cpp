// The front-name lookup the tap makes for every key event, on a watcher connected to a
// private Xvfb with a window in front; and how long the watcher takes to follow a change of
// front window, next to asking the server for the same answer with blocking round trips.
#include "platform/linux/ProcessName.h"
#include "platform/linux/X11FrontProcessWatcher.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <benchmark/benchmark.h>
#include <xcb/res.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

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

bool waitFor(const std::function<bool()> &done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// The peer of following: the active window and its client's process, asked with blocking
// round trips, then the process's name.
void blockingLookup(benchmark::State &state, const QByteArray &display) {
    xcb_connection_t *c = xcb_connect(display.constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 18, "_NET_ACTIVE_WINDOW"), nullptr);
    for (auto _ : state) {
        xcb_get_property_reply_t *active =
            xcb_get_property_reply(c,
                                   xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
                                   nullptr);
        const xcb_res_client_id_spec_t wanted{*static_cast<xcb_window_t *>(
                                                  xcb_get_property_value(active)),
                                              XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        xcb_res_query_client_ids_reply_t *ids =
            xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &wanted), nullptr);
        const auto value = xcb_res_query_client_ids_ids_iterator(ids);
        benchmark::DoNotOptimize(
            ProcessName::ofPid(pid_t(*xcb_res_client_id_value_value(value.data))));
        std::free(ids);
        std::free(active);
    }
    std::free(atom);
    xcb_disconnect(c);
}

// A private Xvfb with two windows of this process and a watcher, with or without a window
// manager's word on which window is active.
struct Desk {
    XvfbServer server;
    QByteArray display;
    std::unique_ptr<X11TestClient> client;
    xcb_window_t first = XCB_NONE;
    xcb_window_t second = XCB_NONE;
    xcb_window_t inFront = XCB_NONE;
    std::unique_ptr<X11FrontProcessWatcher> watcher;
    std::function<void(xcb_window_t)> bringToFront;

    QString start(bool withWindowManager) {
        if (!server.start()) return QStringLiteral("Xvfb is not installed or did not start");
        display = server.display().toLocal8Bit();
        client = std::make_unique<X11TestClient>(display);
        if (withWindowManager) client->announceWindowManager();
        first = client->showWindow(0);
        second = client->showWindow(200);
        X11TestClient *c = client.get();
        bringToFront = withWindowManager ? std::function([c](xcb_window_t w) { c->activate(w); })
                                         : std::function([c](xcb_window_t w) { c->focus(w); });
        bringToFront(inFront = first);
        auto made = X11FrontProcessWatcher::create(display);
        if (!made) return made.failure().message;
        watcher = made.take();
        if (!waitFor([&] { return !watcher->frontProcessName().isNull(); }))
            return QStringLiteral("the watcher did not report a name in time");
        return {};
    }
};

// The two windows take turns in front; a turn ends when the watcher names the process again,
// after the no-name of the lookup.
void follow(benchmark::State &state, Desk *desk) {
    int changes = 0;
    const auto counter =
        QObject::connect(desk->watcher.get(), &FrontProcessSource::frontProcessNameChanged,
                         [&changes] { ++changes; });
    for (auto _ : state) {
        const int before = changes;
        desk->inFront = desk->inFront == desk->first ? desk->second : desk->first;
        desk->bringToFront(desk->inFront);
        if (!waitFor([&] { return changes >= before + 2; })) state.SkipWithError("no change");
    }
    QObject::disconnect(counter);
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    Desk managed;
    Desk bare;
    for (auto [desk, withWindowManager] : {std::pair{&managed, true}, std::pair{&bare, false}}) {
        if (const QString why = desk->start(withWindowManager); !why.isEmpty()) {
            std::printf("skipped: %s\n", qPrintable(why));
            return 0;
        }
    }
    X11FrontProcessWatcher *source = managed.watcher.get();
    X11TestClient &client = *managed.client;
    benchmark::RegisterBenchmark("FrontProcessName/lookup", lookup, source);
    benchmark::RegisterBenchmark("FrontProcessName/lookupAndPrefixTest", lookupAndPrefixTest,
                                 source);
    benchmark::RegisterBenchmark("FrontProcessName/peerServerRoundTrip", serverRoundTrip, &client);
    benchmark::RegisterBenchmark("FrontChange/followActiveWindow", follow, &managed);
    // Without a window manager's word, the input focus decides.
    benchmark::RegisterBenchmark("FrontChange/followInputFocus", follow, &bare);
    benchmark::RegisterBenchmark("FrontChange/peerBlockingLookup", blockingLookup, managed.display);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
