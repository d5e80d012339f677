// CPU use of the robot_sim program at its default rates (physics 100 Hz, camera 320x240 at
// 30 frames/s), measured from /proc/<pid>/stat over 10 s with a reader connected to every
// stream: once with the head still (the camera re-sends its last frame) and once with the
// head sweeping (every frame rendered anew).
#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Property.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/board_client.h"
#include "support/child_process.h"
#include "support/wait.h"

namespace {

using Clock = std::chrono::steady_clock;

/// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0.0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stod(field);
        } else if (i == 15) {
            stime = std::stod(field);
        }
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void measure(benchmark::State& state, bool sweepHead)
{
    for (auto _ : state) {
        ac_test::ChildProcess sim({ROBOT_SIM_PATH, "--quiet"}, ac_test::ChildProcess::Output::inherited);
        if (!sim.started()) {
            state.SkipWithError("cannot start robot_sim");
            return;
        }
        if (!ac_test::poll_until([] { return yarp::os::NetworkBase::exists("/icubSim/world"); },
                                 std::chrono::seconds(30), std::chrono::milliseconds(10))) {
            state.SkipWithError("robot_sim did not come up");
            return;
        }
        const pid_t pid = sim.pid();
        yarp::os::BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> camera;
        yarp::os::BufferedPort<yarp::sig::Vector> inertial, skin;
        camera.open("/bench/cam");
        inertial.open("/bench/inertial");
        skin.open("/bench/skin");
        yarp::os::NetworkBase::connect("/icubSim/cam/left", "/bench/cam");
        yarp::os::NetworkBase::connect("/icubSim/inertial", "/bench/inertial");
        yarp::os::NetworkBase::connect("/icubSim/skin/left_hand", "/bench/skin");
        std::atomic<bool> done{false};
        std::atomic<long> frames{0};
        std::thread reader([&] {
            while (!done) {
                if (camera.read(true) != nullptr) {
                    ++frames;
                }
            }
        });

        yarp::os::Property config = ac_test::remote_board_options("/icubSim/head", "/bench/head");
        yarp::dev::PolyDriver driver(config);
        yarp::dev::IVelocityControl* vel = nullptr;
        yarp::dev::IControlMode* modes = nullptr;
        driver.view(vel);
        driver.view(modes);
        if (sweepHead && vel && modes) {
            modes->setControlMode(2, VOCAB_CM_VELOCITY);
        }

        const double cpu0 = cpuSeconds(pid);
        const auto t0 = Clock::now();
        double direction = 1.0;
        while (Clock::now() - t0 < std::chrono::seconds(10)) {
            if (sweepHead && vel) {
                vel->velocityMove(2, 20.0 * direction); // 1 s each way: never at a limit
                direction = -direction;
            }
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = cpuSeconds(pid) - cpu0;

        driver.close();
        sim.stop(SIGTERM);
        done = true;
        camera.interrupt();
        reader.join();
        camera.close();
        inertial.close();
        skin.close();

        state.SetIterationTime(wall);
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["frames_received_per_s"] = static_cast<double>(frames.load()) / wall;
    }
}

void BM_RobotSimCpuHeadStill(benchmark::State& state) { measure(state, false); }
void BM_RobotSimCpuHeadSweeping(benchmark::State& state) { measure(state, true); }

} // namespace

BENCHMARK(BM_RobotSimCpuHeadStill)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_RobotSimCpuHeadSweeping)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
