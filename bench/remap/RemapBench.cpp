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
const SlotTable Slots = makeSlotTable({KeyCombo{0, 0}, KeyCombo{0, 1}, KeyCombo{0, 2},
                                       KeyCombo{0, 3}, KeyCombo{0, 4}, KeyCombo{0, Q}});

RemapResult decide(bool on, uint32_t type, uint16_t keyCode) {
    return remapKeyEvent(
        on, [] { return std::optional<std::u16string_view>(Game); }, type,
        [&] { return std::pair(keyCode, uint64_t(0x100)); },
        []() -> const SlotTable & { return Slots; });
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
    const SlotTable &slotTable() const override { return Slots; }
    TapEvent *createKeyboardEvent(uint16_t code, bool keyDown) override {
        made = KeyboardEvent(code, keyDown);
        return &made;
    }

    bool on = true;
    QString front = QString::fromStdU16String(std::u16string(Game));
    KeyboardEvent made{0, false};
};

// One key event per iteration, presses and releases of `keyCode` in turn.
void runCallback(benchmark::State &state, bool on, uint16_t keyCode) {
    MemoryHost host;
    host.on = on;
    selfPoint = &host;
    KeyboardEvent events[2] = {{keyCode, true, 0x100}, {keyCode, false, 0x100}};
    const uint32_t types[2] = {TapEvent::KeyDown, TapEvent::KeyUp};
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(eventCallback(nullptr, types[next], &events[next], nullptr));
        next ^= 1;
    }
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
