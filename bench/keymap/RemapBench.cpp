#include <benchmark/benchmark.h>

#include "keymap/RemapDecision.h"
#include "platform/linux/broker/EventCallback.h"
#include "platform/linux/broker/KeyboardEvent.h"
#include "platform/linux/broker/RemapHost.h"

#include <memory>

namespace {

constexpr uint16_t Q = 12;
constexpr uint16_t W = 13;

// The game in front and six slots holding A S D F H and Q (slot 6); none holds W.
RemapState playing(bool on) {
    RemapState state;
    state.remapSwitch = on;
    state.gameInFront = true;
    state.slotTable = makeSlotTable({KeyCombo{0, 0}, KeyCombo{0, 1}, KeyCombo{0, 2}, KeyCombo{0, 3},
                                     KeyCombo{0, 4}, KeyCombo{0, Q}});
    return state;
}

void runDecision(benchmark::State &state, bool on, uint16_t keyCode) {
    const RemapState remap = playing(on);
    for (auto _ : state) {
        benchmark::DoNotOptimize(keyCode);
        benchmark::DoNotOptimize(
            remapKeyEvent(remap, 10, [&] { return std::pair(keyCode, uint64_t(0x100)); }));
    }
}

void BM_RemapKeyEvent_SwitchOff(benchmark::State &state) { runDecision(state, false, Q); }
void BM_RemapKeyEvent_GameInFrontNoSlotMatches(benchmark::State &state) {
    runDecision(state, true, W);
}
void BM_RemapKeyEvent_MatchOnSlot6(benchmark::State &state) { runDecision(state, true, Q); }

// One key event per iteration through the broker's callback, presses and releases of `keyCode`
// in turn.
void runCallback(benchmark::State &state, bool on, uint16_t keyCode) {
    RemapHost host;
    host.setState(playing(on));
    KeyboardEvent events[2] = {{keyCode, true, 0x100}, {keyCode, false, 0x100}};
    const uint32_t types[2] = {TapEvent::KeyDown, TapEvent::KeyUp};
    size_t next = 0;
    for (auto _ : state) {
        TapEvent *out = eventCallback(nullptr, types[next], &events[next], &host);
        benchmark::DoNotOptimize(out);
        if (out != &events[next]) delete out;
        next ^= 1;
    }
}

void BM_EventCallback_SwitchOff(benchmark::State &state) { runCallback(state, false, Q); }
void BM_EventCallback_GameInFrontNoSlotMatches(benchmark::State &state) {
    runCallback(state, true, W);
}
void BM_EventCallback_MatchOnSlot6(benchmark::State &state) { runCallback(state, true, Q); }

}  // namespace

BENCHMARK(BM_RemapKeyEvent_SwitchOff);
BENCHMARK(BM_RemapKeyEvent_GameInFrontNoSlotMatches);
BENCHMARK(BM_RemapKeyEvent_MatchOnSlot6);
BENCHMARK(BM_EventCallback_SwitchOff);
BENCHMARK(BM_EventCallback_GameInFrontNoSlotMatches);
BENCHMARK(BM_EventCallback_MatchOnSlot6);

BENCHMARK_MAIN();
