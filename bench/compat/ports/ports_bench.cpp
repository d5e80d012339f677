// Port transport between two processes: image stream throughput and write-to-read latency,
// request/reply round trip of a small bottle, and getEncoders on a 6-axis board.
// Latency figures are reported as counters p50_us and p99_us.
#include "sim/serve/board_device.h"

#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/os/Property.h>
#include <yarp/sig/Image.h>

#include <benchmark/benchmark.h>

#include "bench/core/bench_stats.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/board_client.h"
#include "support/child_process.h"
#include "support/wait.h"

using namespace yarp::os;
using SteadyClock = std::chrono::steady_clock;

namespace {

/// The helper program as the other process, killed when the benchmark is done with it.
class Helper : public ac_test::ChildProcess {
public:
    explicit Helper(std::vector<std::string> args) : ChildProcess(withProgram(std::move(args)), Output::inherited) {}

private:
    static std::vector<std::string> withProgram(std::vector<std::string> args)
    {
        args.insert(args.begin(), PORTS_BENCH_HELPER);
        return args;
    }
};

bool waitForPort(const std::string& name)
{
    return ac_test::poll_until([&] { return NetworkBase::exists(name); }, std::chrono::seconds(20));
}

double microsecondsSince(std::int64_t stamp)
{
    return static_cast<double>(SteadyClock::now().time_since_epoch().count() - stamp) / 1000.0;
}

/// Range 0, 1: image width and height; range 2: writer's rate (0 = as fast as possible).
void BM_ImageStream(benchmark::State& state)
{
    const auto w = state.range(0);
    const auto h = state.range(1);
    const auto fps = state.range(2);
    const std::string writer = "/bench/cam:o";
    const std::string reader = "/bench/cam:i";
    Helper helper({"images", writer, std::to_string(w), std::to_string(h), std::to_string(fps)});
    BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> in;
    if (fps == 0) {
        in.setStrict(); // measure what the pipe carries, not what the reader skips
    }
    if (!in.open(reader) || !waitForPort(writer) || !NetworkBase::connect(writer, reader)) {
        state.SkipWithError("cannot set up the stream");
        return;
    }
    for (int i = 0; i < 10; ++i) {
        in.read(); // warm up
    }
    std::vector<double> latency;
    for (auto _ : state) {
        auto* image = in.read();
        if (!image || image->getRawImageSize() < 8) {
            state.SkipWithError("stream ended");
            break;
        }
        std::int64_t stamp = 0;
        std::memcpy(&stamp, image->getRawImage(), sizeof stamp);
        latency.push_back(microsecondsSince(stamp));
    }
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    report_percentiles(state, latency);
    in.close();
}
// Saturated: the writer sends as fast as the reader takes (throughput; latency includes
// queueing).
void BM_ImageStreamThroughput(benchmark::State& state)
{
    BM_ImageStream(state);
}
BENCHMARK(BM_ImageStreamThroughput)
    ->ArgNames({"w", "h", "fps"})
    ->Args({320, 240, 0})
    ->Args({640, 480, 0})
    ->Iterations(3000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// Paced like a camera (100 frames/s, non-strict): write-to-read latency of one frame.
void BM_ImageStreamLatency(benchmark::State& state)
{
    BM_ImageStream(state);
}
BENCHMARK(BM_ImageStreamLatency)
    ->ArgNames({"w", "h", "fps"})
    ->Args({320, 240, 100})
    ->Args({640, 480, 100})
    ->Iterations(300)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

void BM_RequestReply(benchmark::State& state)
{
    Helper helper({"echo", "/bench/echo"});
    Port client;
    if (!client.open("/bench/echo-client") || !waitForPort("/bench/echo")
        || !NetworkBase::connect("/bench/echo-client", "/bench/echo")) {
        state.SkipWithError("cannot set up the server");
        return;
    }
    Bottle request("world get lhand");
    Bottle reply;
    std::vector<double> us;
    for (auto _ : state) {
        const auto t0 = SteadyClock::now();
        if (!client.write(request, reply)) {
            state.SkipWithError("no reply");
            break;
        }
        us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
    }
    report_percentiles(state, us);
}
BENCHMARK(BM_RequestReply)->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_GetEncoders(benchmark::State& state)
{
    Helper helper({"board", "/bench/head", "6"});
    if (!waitForPort(sim::BoardServer::rpcPortName("/bench/head"))) {
        state.SkipWithError("no board");
        return;
    }
    Property config = ac_test::remote_board_options("/bench/head", "/bench/client");
    yarp::dev::PolyDriver driver(config);
    yarp::dev::IEncoders* enc = nullptr;
    if (!driver.isValid() || !driver.view(enc)) {
        state.SkipWithError("cannot open the client");
        return;
    }
    // An installed YARP answers from the board's state stream: the first reading comes with
    // the first state message, shortly after the client opened.
    double encs[6];
    if (!ac_test::poll_until([&] { return enc->getEncoders(encs); }, std::chrono::seconds(20))) {
        state.SkipWithError("no first reading");
        return;
    }
    std::vector<double> us;
    for (auto _ : state) {
        const auto t0 = SteadyClock::now();
        if (!enc->getEncoders(encs)) {
            state.SkipWithError("call failed");
            break;
        }
        us.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
    }
    report_percentiles(state, us);
}
BENCHMARK(BM_GetEncoders)->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

// YARP wants a Network alive before any port opens (the bundled layer initialises itself).
int main(int argc, char** argv)
{
    Network network;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
