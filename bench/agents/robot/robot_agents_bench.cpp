// The robot interface agents on their own threads, against an in-process served board and an
// in-process camera stream:
//  - VelocityCommandLatency: from a Space write under the velocity key to the velocity
//    command arriving at the board (through the remote_controlboard client, the board's
//    control-mode query included).
//  - CameraFrameToSpace: from a frame leaving the camera's port to its handle being in the
//    Space (the camera agent waiting in its read, as it does between frames).
//  - BoardCallRoundTrip: one call handed to a board link's caller thread and its result
//    back, the cost every control-board call pays for its bound.
// Latencies are reported as counters p50_us and p99_us.
#include <benchmark/benchmark.h>

#include "bench/core/bench_stats.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim/serve/board_device.h"
#include "support/fake_board.h"
#include <yarp/os/BufferedPort.h>

#include "agents/robot/board_caller.h"
#include "agents/robot/motor_agents.h"
#include "agents/robot/sensor_agents.h"
#include "core/agentspace.h"

using Clock = std::chrono::steady_clock;

namespace {

/// Port names of this run, so that a running controller or another bench is not disturbed.
std::string unique(const std::string& name)
{
    return "/bench" + std::to_string(::getpid()) + name;
}

/// Sends the agents' printed lines to /dev/null while it lives.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        saved = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved, 1);
        ::close(saved);
    }

private:
    int saved = -1;
};

/// A board that tells the benchmark when a whole-board velocity command has arrived.
class SignallingBoard : public ac_test::FakeBoard {
public:
    using FakeBoard::FakeBoard;

    bool velocityMove(const double* speeds) override
    {
        const bool ok = FakeBoard::velocityMove(speeds);
        std::lock_guard<std::mutex> lock(mutex);
        last_first_axis = speeds[0];
        arrived.notify_all();
        return ok;
    }

    /// Waits until a command whose first axis is `value` has arrived.
    bool wait_for(double value, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return last_first_axis == value; });
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    double last_first_axis = -1;
};

void VelocityCommandLatency(benchmark::State& state)
{
    static SignallingBoard* board = new SignallingBoard(6);   // served for the whole run
    static sim::BoardServer* server = new sim::BoardServer;
    static VelocityMotorAgent* agent = nullptr;
    const std::string velocity_key = "bench_head_vel";
    QuietStdout quiet;
    if (agent == nullptr) {
        server->open(unique("/head"), *board);
        VelocityBlock config;
        config.velocity_key = velocity_key;
        config.encoder_key = "bench_head_enc";
        config.device = "remote_controlboard";
        config.local_port = unique("/client2");
        config.remote_port = unique("/head");
        Space::getSpace()->write(std::string("bench_hvConfig"), config, 0, 1.0f);
        agent = new VelocityMotorAgent("bench_hvConfig");   // lives for the whole run
        agent->start(nullptr);
    }

    std::vector<double> us;
    int lost = 0;
    double value = 0;
    for (auto _ : state) {
        value += 1;
        yarp::sig::Vector command(6, 0.0);
        command[0] = value;
        const auto sent = Clock::now();
        Space::getSpace()->write(velocity_key, command, 0, 1.0f);
        // A write that lands while the agent is not waiting is lost (wake-ups are not
        // queued); such samples are written again and left out of the figures.
        bool arrived = board->wait_for(value, std::chrono::milliseconds(200));
        if (arrived) {
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        }
        while (!arrived) {
            ++lost;
            Space::getSpace()->write(velocity_key, command, 0, 1.0f);
            arrived = board->wait_for(value, std::chrono::milliseconds(200));
        }
        // Give the agent time to print and wait again before the next write.
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        state.ResumeTiming();
    }
    state.counters["lost_wakeups"] = lost;
    report_percentiles(state, us);
}
BENCHMARK(VelocityCommandLatency)->Iterations(2000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BoardCallRoundTrip(benchmark::State& state)
{
    BoardCaller caller;
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(state.max_iterations));
    int calls = 0;
    for (auto _ : state) {
        bool result = false;
        const auto sent = Clock::now();
        caller.run([&calls] { return ++calls > 0; }, result);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        benchmark::DoNotOptimize(result);
    }
    report_percentiles(state, us);
}
BENCHMARK(BoardCallRoundTrip)->Iterations(20000)->Unit(benchmark::kMicrosecond)->UseRealTime();

/// Paints a 320 x 240 frame whose first four bytes carry its number.
void paint(CameraImage& image, std::uint32_t frame)
{
    image.resize(320, 240);
    std::memset(image.getRawImage(), static_cast<int>(frame & 0xff), image.getRawImageSize());
    std::memcpy(image.getRawImage(), &frame, 4);
}

std::uint32_t frame_of(const CameraImage& image)
{
    std::uint32_t frame = 0;
    std::memcpy(&frame, image.getRawImage(), 4);
    return frame;
}

void CameraFrameToSpace(benchmark::State& state)
{
    static auto* camera = new yarp::os::BufferedPort<CameraImage>;   // open for the whole run
    static CamSensorAgent* agent = nullptr;
    static Monitor* monitor = new Monitor;
    static Proxy* watcher = new Proxy(*monitor);
    const std::string image_key = "bench_leftImage";
    if (agent == nullptr) {
        camera->open(unique("/cam/left"));
        SensorBlock config;
        config.local_port = unique("/left/image/in");
        config.remote_port = unique("/cam/left");
        config.data_key = image_key;
        config.delay_ms = 0;
        config.period_ms = 1;   // always back in its read before the next frame
        Space::getSpace()->write(std::string("bench_leConfig"), config, 0, 1.0f);
        Space::getSpace()->trigger_attach(image_key, watcher, 1);
        agent = new CamSensorAgent("bench_leConfig");
        agent->start(nullptr);
        while (camera->getOutputCount() < 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::vector<double> us;
    std::uint32_t frame = 0;
    int missed = 0;
    for (auto _ : state) {
        ++frame;
        state.PauseTiming();
        paint(camera->prepare(), frame);
        const timespec past{0, 0};
        monitor->wait_pending(&past);   // forget earlier publications
        state.ResumeTiming();

        const auto sent = Clock::now();
        camera->writeStrict();
        timespec deadline;
        Timer::get_time(&deadline);
        Timer::inc_time(&deadline, 1000);
        const bool published = monitor->wait_pending(&deadline) != nullptr;
        const auto seen = Clock::now();

        state.PauseTiming();
        const ImageHandle image = Space::getSpace()->read(image_key, ImageHandle());
        if (published && image && frame_of(*image) == frame) {
            us.push_back(std::chrono::duration<double, std::micro>(seen - sent).count());
        } else {
            ++missed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));   // the agent's next tick
        state.ResumeTiming();
    }
    state.counters["missed"] = missed;
    report_percentiles(state, us);
}
BENCHMARK(CameraFrameToSpace)->Iterations(500)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
