// The ball finder's scan of one camera image: every pixel through the colour tests, the
// ball-coloured ones grouped into blobs, and the choice of the ball. Reported per frame and
// per pixel ("ns_per_pixel"; the median over repetitions is the figure to quote).
//
// Frames: two recorded from the real simulator (the ball alone; the robot's forearm filling
// the lower half, the frame with the most navy), each also enlarged to 640 x 480, and a
// worst case of random colours with a ball, where a fifth of all pixels passes the blue
// test and ball-coloured specks are everywhere.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "agents/behaviour/blue_ball_finder.h"
#include "tests/agents/behaviour/reference_frames.h"

namespace {

using reference_frames::Frame;

Frame noise_frame(int width, int height) {
    Frame frame;
    frame.width = width;
    frame.height = height;
    frame.rgb.resize(static_cast<std::size_t>(3 * width * height));
    std::mt19937 rng(42);
    for (auto& byte : frame.rgb) byte = static_cast<unsigned char>(rng());
    const double cx = width * 0.6, cy = height * 0.4, radius = width / 10.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) {
                unsigned char* p = &frame.rgb[static_cast<std::size_t>(3 * (y * width + x))];
                p[0] = 0;
                p[1] = 0;
                p[2] = 200;
            }
        }
    }
    return frame;
}

void scan(benchmark::State& state, const Frame& frame) {
    if (frame.empty()) {
        state.SkipWithError("frame not found");
        return;
    }
    blue_ball::BallFinder finder;
    for (auto _ : state) {
        blue_ball::BallEstimate estimate =
            finder.find(frame.rgb.data(), frame.width, frame.height, 3 * frame.width);
        benchmark::DoNotOptimize(estimate);
    }
    const double pixels = static_cast<double>(frame.width) * frame.height;
    // Iteration-invariant rate, inverted: seconds per (pixels * 1e-9), i.e. ns per pixel.
    state.counters["ns_per_pixel"] = benchmark::Counter(
        pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pixels));
}

void register_frame(const std::string& name, const Frame& frame) {
    benchmark::RegisterBenchmark(name.c_str(), [frame](benchmark::State& state) { scan(state, frame); })
        ->Repetitions(9)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace

int main(int argc, char** argv) {
    const Frame ball = reference_frames::load("real-sim-left-camera-pitch-35-tilt-30");
    const Frame arm = reference_frames::load("real-sim-tracking-its-own-arm");
    register_frame("BM_BallFinderSimFrame/ball/320/240", ball);
    register_frame("BM_BallFinderSimFrame/arm/320/240", arm);
    register_frame("BM_BallFinderSimFrame/ball/640/480", reference_frames::enlarged(ball, 2));
    register_frame("BM_BallFinderSimFrame/arm/640/480", reference_frames::enlarged(arm, 2));
    register_frame("BM_BallFinderNoise/320/240", noise_frame(320, 240));
    register_frame("BM_BallFinderNoise/640/480", noise_frame(640, 480));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
