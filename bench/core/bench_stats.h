#pragma once
// Percentiles of a sample of latencies.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

/// Reports the median and the 99th percentile of `us` (microseconds, sorted here) as the
/// counters p50_us and p99_us.
inline void report_percentiles(benchmark::State& state, std::vector<double>& us) {
    if (us.empty()) return;
    std::sort(us.begin(), us.end());
    state.counters["p50_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
}
