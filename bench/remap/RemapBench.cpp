#include <benchmark/benchmark.h>

#include "platform/KeyboardEvent.h"
#include "remap/EventCallback.h"
#include "remap/EventTapHost.h"
#include "remap/RemapDecision.h"

namespace {

constexpr uint16_t Q = 12;
constexpr uint16_t W = 13;
constexpr std::u16string_view Game = u"Warcraft III Frozen Throne";
// Six slots holding A S D F H and Q (slot 6); none holds W.
const SlotCombos Slots = {KeyCombo{0, 0}, KeyCombo{0, 1}, KeyCombo{0, 2},
                          KeyCombo{0, 3}, KeyCombo{0, 4}, KeyCombo{0, Q}};

RemapResult decide(bool on, uint32_t type, uint16_t keyCode) {
    return remapKeyEvent(
        on, [] { return std::optional<std::u16string_view>(Game); }, type,
        [&] { return std::pair(keyCode, uint64_t(0x100)); }, [] { return Slots; });
}

void runDecision(benchmark::State &state, bool on, uint16_t keyCode) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(on);
        benchmark::DoNotOptimize(keyCode);
        benchmark::DoNotOptimize(decide(on, 10, keyCode));
    }
}

void BM_RemapKeyEvent_SwitchOff(benchmark::State &state) { runDecision(state, false, Q); }
void BM_RemapKeyEvent_GameInFrontNoSlotMatches(benchmark::State &state) {
    runDecision(state, true, W);
}
void BM_RemapKeyEvent_MatchOnSlot6(benchmark::State &state) { runDecision(state, true, Q); }

// The application in memory: the front name is already known, as the X11 watcher keeps it.
class MemoryHost : public EventTapHost {
public:
    bool remapSwitch() const override { return on; }
    const QString &frontProcessName() const override { return front; }
    KeyCombo slotKeyCombo(int slot) const override { return Slots[size_t(slot - 1)]; }
    TapEvent *createKeyboardEvent(uint16_t code, bool keyDown) override {
        made = KeyboardEvent(code, keyDown);
        return &made;
    }

    bool on = true;
    QString front = QString::fromStdU16String(std::u16string(Game));
    KeyboardEvent made{0, false};
};

// A press and a release of `keyCode` per iteration; figures are per event.
void runCallback(benchmark::State &state, bool on, uint16_t keyCode) {
    MemoryHost host;
    host.on = on;
    selfPoint = &host;
    KeyboardEvent down(keyCode, true, 0x100);
    KeyboardEvent up(keyCode, false, 0x100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(eventCallback(nullptr, TapEvent::KeyDown, &down, nullptr));
        benchmark::DoNotOptimize(eventCallback(nullptr, TapEvent::KeyUp, &up, nullptr));
    }
    state.SetItemsProcessed(2 * state.iterations());
    selfPoint = nullptr;
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
