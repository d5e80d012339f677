// Time to render one left-camera frame, at the calibrated size and at twice it, for three
// typical views: level (sky, mountains, floor), looking down at the ball on the table (the
// tracking pose of the reference view), and turned down and left onto the robot's own left
// arm (the pose where the real controller locks onto it). The body is drawn in each.
#include "sim/simulation/simulation.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void renderFrame(benchmark::State& state, std::vector<double> head)
{
    const sim::Intrinsics k = sim::Intrinsics::forSize(static_cast<std::size_t>(state.range(0)),
                                                       static_cast<std::size_t>(state.range(1)));
    const sim::Renderer renderer(sim::Scene::standard());
    const sim::Pose eye = sim::leftEyePose(head.data());
    const std::vector<double> arm = sim::armStartPose();
    const std::vector<sim::BodyPart> body = sim::robotBody(head.data(), arm.data(), arm.data());
    const sim::Vec3 ball{-0.15, 0.554, 0.35};
    std::vector<std::uint8_t> rgb(k.width * k.height * 3);
    for (auto _ : state) {
        renderer.render(eye, k, ball, body, rgb.data(), k.width * 3);
        benchmark::DoNotOptimize(rgb.data());
        benchmark::ClobberMemory();
    }
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["pixels"] = static_cast<double>(k.width * k.height);
}

void BM_RenderLevel(benchmark::State& state) { renderFrame(state, {0, 0, 0, 0, 0, 0}); }
void BM_RenderLookingDownAtBall(benchmark::State& state) { renderFrame(state, {-35, 0, 0, -30, 0, 0}); }
void BM_RenderOntoTheLeftArm(benchmark::State& state) { renderFrame(state, {-40, 0, 55, 0, 0, 0}); }

} // namespace

BENCHMARK(BM_RenderLevel)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_RenderLookingDownAtBall)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_RenderOntoTheLeftArm)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK_MAIN();
