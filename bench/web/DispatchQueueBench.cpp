// 100,000 empty operations through a dispatch queue with a limit of 2, against the same
// operations posted straight to the global thread pool; each row runs from the first
// submission until the last operation has ended. "per_op" is the time per operation.
#include "web/MZDispatchQueue.h"

#include <QSemaphore>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <atomic>

namespace {

constexpr int Operations = 100000;

// An operation that does nothing but count, releasing `done` after the last one.
struct Countdown {
    std::atomic<int> left{Operations};
    QSemaphore done;
    auto operation() {
        return [this] {
            if (left.fetch_sub(1, std::memory_order_acq_rel) == 1) done.release();
        };
    }
};

void report(benchmark::State &state) {
    state.counters["per_op"] =
        benchmark::Counter(Operations, benchmark::Counter::kIsIterationInvariantRate |
                                           benchmark::Counter::kInvert);
}

void BM_DispatchQueueLimit2(benchmark::State &state) {
    for (auto _ : state) {
        Countdown countdown;
        auto queue = MZDispatchQueue::create(2);
        for (int i = 0; i < Operations; ++i) queue->addOperation(countdown.operation());
        countdown.done.acquire();
        queue.reset();
        QThreadPool::globalInstance()->waitForDone();
    }
    report(state);
}
BENCHMARK(BM_DispatchQueueLimit2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5);

void BM_GlobalThreadPool(benchmark::State &state) {
    QThreadPool *pool = QThreadPool::globalInstance();
    for (auto _ : state) {
        Countdown countdown;
        for (int i = 0; i < Operations; ++i) pool->start(countdown.operation());
        countdown.done.acquire();
        pool->waitForDone();
    }
    report(state);
}
BENCHMARK(BM_GlobalThreadPool)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5);

}  // namespace
