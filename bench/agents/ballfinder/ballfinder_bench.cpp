// The ball finder's scan of one camera image: every pixel through the blue test, the sums
// of the blue ones, and the found / not-found decision. Reported per pixel ("ns_per_pixel",
// the median over repetitions is the figure to quote).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "agents/blue_ball_finder.h"

namespace {

// A camera-like frame: mostly noise with a blue ball of about 1/25 of the image area, so
// the scan counts a realistic share of blue pixels.
std::vector<unsigned char> camera_frame(std::size_t width, std::size_t height) {
    std::vector<unsigned char> rgb(3 * width * height);
    std::mt19937 rng(42);
    for (auto& byte : rgb) byte = static_cast<unsigned char>(rng());
    const double cx = width * 0.6, cy = height * 0.4, radius = width / 10.0;
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) {
                unsigned char* p = &rgb[3 * (y * width + x)];
                p[0] = 20;
                p[1] = 40;
                p[2] = 200;
            }
        }
    }
    return rgb;
}

void BM_BallFinderScan(benchmark::State& state) {
    const auto width = static_cast<std::size_t>(state.range(0));
    const auto height = static_cast<std::size_t>(state.range(1));
    const std::vector<unsigned char> rgb = camera_frame(width, height);
    for (auto _ : state) {
        blue_ball::BallEstimate estimate =
            blue_ball::find_ball(rgb.data(), width, height, 3 * width);
        benchmark::DoNotOptimize(estimate);
    }
    const double pixels = static_cast<double>(width * height);
    // Iteration-invariant rate, inverted: seconds per (pixels * 1e-9), i.e. ns per pixel.
    state.counters["ns_per_pixel"] = benchmark::Counter(
        pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * width * height));
}

BENCHMARK(BM_BallFinderScan)
    ->Args({320, 240})
    ->Args({640, 480})
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
