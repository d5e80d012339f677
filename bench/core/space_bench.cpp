// The Space under load: a write followed by a read of a six-element head vector, alone and
// with four threads on the same key; and the time from a write to the start of the
// activation of the agent that watches the key.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "bench_stats.h"
#include "core/agentspace.h"

namespace {

using Vec = std::vector<double>;
using Clock = std::chrono::steady_clock;

Space& shared_space() {
    static Space* space = new Space();
    return *space;
}

void BM_SpaceWriteRead6(benchmark::State& state) {
    Space& space = shared_space();
    const Vec command{0.1, -0.2, 0.3, 0.0, 1.5, -1.5};
    const Vec none;
    for (auto _ : state) {
        space.write("head_vel", command, 300, 1.0f);
        Vec got = space.read("head_vel", none);
        benchmark::DoNotOptimize(got.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpaceWriteRead6);
BENCHMARK(BM_SpaceWriteRead6)->Threads(4)->UseRealTime();

/// Stamps the time of each activation against the write's own time stamp.
class EchoAgent : public Agent {
public:
    using Agent::Agent;
    void init(std::string) override {
        trigger_attach("ping", 1);
        std::lock_guard<std::mutex> lock(mutex);
        ready = true;
        done.notify_all();
    }
    void sense_select_act(int) override {
        const auto woke = Clock::now();
        const long long sent = space_read("ping", 0LL);
        std::lock_guard<std::mutex> lock(mutex);
        latency_us.push_back(
            std::chrono::duration<double, std::micro>(woke.time_since_epoch()).count() -
            sent / 1000.0);
        ++acks;
        done.notify_all();
    }
    /// Waits until `n` activations have happened, at most `ms` milliseconds.
    bool wait_acks(long n, int ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return done.wait_for(lock, std::chrono::milliseconds(ms), [&] { return acks >= n; });
    }
    void wait_ready() {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&] { return ready; });
    }
    std::vector<double> samples() {
        std::lock_guard<std::mutex> lock(mutex);
        return latency_us;
    }

private:
    std::mutex mutex;
    std::condition_variable done;
    std::vector<double> latency_us;
    long acks = 0;
    bool ready = false;
};

void BM_WriteToActivationLatency(benchmark::State& state) {
    // One write at a time: the next goes out 1 ms after the agent has started on the
    // previous one, so that it is back in its wait. A write that still finds it busy is
    // lost (wake-ups are not queued); it is repeated after 20 ms and counted.
    const long kWrites = state.range(0);
    auto* space = new Space();                // lives on: the agent's thread never ends
    auto* agent = new EchoAgent("echo", *space);
    agent->start(nullptr);
    agent->wait_ready();
    long lost = 0;
    for (auto _ : state) {
        for (long i = 1; i <= kWrites; ++i) {
            for (;;) {
                const long long stamp = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                            Clock::now().time_since_epoch())
                                            .count();
                space->write("ping", stamp, 0, 1.0f);
                if (agent->wait_acks(i, 20)) break;
                ++lost;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    const std::vector<double> us = agent->samples();
    state.counters["median_us"] = percentile(us, 0.5);
    state.counters["p99_us"] = percentile(us, 0.99);
    state.counters["max_us"] = percentile(us, 1.0);
    state.counters["lost_writes"] = static_cast<double>(lost);
    state.counters["samples"] = static_cast<double>(us.size());
    agent->kill();
}
BENCHMARK(BM_WriteToActivationLatency)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
