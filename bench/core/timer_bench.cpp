// Lateness of a 10 ms cyclic timer over 10 s: the time from each deadline to the moment
// the thread waiting on the timer's proxy wakes.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_stats.h"
#include "core/timer.h"

namespace {

double ms_between(const timespec& a, const timespec& b) {
    return (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
}

void BM_CyclicTimerLateness10ms(benchmark::State& state) {
    constexpr int kPeriod = 10, kTicks = 1000;
    for (auto _ : state) {
        auto* monitor = new Monitor();  // the timer thread keeps the timer: never freed
        auto* proxy = new Proxy(*monitor);
        auto* timer = new Timer(*proxy);
        timespec first;
        Timer::get_time(&first);
        Timer::inc_time(&first, 50);
        timer->start(&first, kPeriod);
        std::vector<double> late_ms;
        late_ms.reserve(kTicks);
        while (proxy->triggers() < static_cast<unsigned long>(kTicks)) {
            Proxy::receive(*monitor);
            timespec now;
            Timer::get_time(&now);
            // The deadline of the latest firing; collapsed wake-ups are measured by the last.
            timespec deadline = first;
            Timer::inc_time(&deadline, static_cast<int>(proxy->triggers() - 1) * kPeriod);
            late_ms.push_back(ms_between(deadline, now));
        }
        timer->stop();
        state.counters["median_ms"] = percentile(late_ms, 0.5);
        state.counters["p99_ms"] = percentile(late_ms, 0.99);
        state.counters["max_ms"] = percentile(late_ms, 1.0);
        state.counters["wakeups"] = static_cast<double>(late_ms.size());
    }
}
BENCHMARK(BM_CyclicTimerLateness10ms)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
