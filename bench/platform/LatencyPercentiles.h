#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

// The median and 99th percentile of a run's round trips, in microseconds; also shown as
// the run's counters.
struct LatencyPercentiles {
    double p50 = 0;
    double p99 = 0;

    static LatencyPercentiles of(std::vector<double> samples) {
        if (samples.empty()) return {};
        std::sort(samples.begin(), samples.end());
        return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
    }
    static LatencyPercentiles report(benchmark::State &state, std::vector<double> samples) {
        const LatencyPercentiles p = of(std::move(samples));
        state.counters["p50_us"] = p.p50;
        state.counters["p99_us"] = p.p99;
        return p;
    }
};
