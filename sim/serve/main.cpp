// robot_sim: the stand-in for the iCub simulator. Serves the simulated robot under /icubSim
// until SIGINT or SIGTERM, printing one status line per second.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <yarp/os/Network.h>

#include "core/shutdown_deadline.h"
#include "sim/serve/robot_sim.h"
#include "sim/simulation/options.h"
#include "sim/simulation/simulation.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const sim::ParsedOptions parsed = sim::parseOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "robot_sim: %s\n", parsed.error.c_str());
        return 2;
    }
    const sim::Options& options = parsed.options;
    if (options.help) {
        std::fputs(sim::usage("robot_sim").c_str(), stdout);
        return 0;
    }

    // Signals are taken synchronously by this thread (sigtimedwait below): block them
    // before any other thread exists so that every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    yarp::os::Network network;
    sim::Simulation simulation(sim::Simulation::Config{options.gravity, options.extraObjects});
    if (options.ball) {
        const std::string refused = simulation.world().setBall(*options.ball);
        if (!refused.empty()) {
            std::fprintf(stderr, "robot_sim: --ball: %s\n", refused.c_str());
            return 2;
        }
    }

    sim::RobotSim::Settings settings;
    settings.width = options.width;
    settings.height = options.height;
    settings.fps = options.fps;
    settings.camera = options.camera;
    sim::RobotSim service(simulation, settings);
    const std::string failure = service.start();
    if (!failure.empty()) {
        std::fprintf(stderr, "robot_sim: %s\n", failure.c_str());
        return 1;
    }
    if (options.camera) {
        std::printf("robot_sim: serving /icubSim (camera %zux%zu at %g frames/s)\n", options.width, options.height,
                    options.fps);
    } else {
        std::printf("robot_sim: serving /icubSim (camera off)\n");
    }
    std::fflush(stdout);

    const timespec statusPeriod{1, 0};
    int signal = 0;
    while (signal <= 0) {
        signal = sigtimedwait(&stopSignals, nullptr, &statusPeriod);
        if (signal <= 0 && options.status) {
            const std::string line = sim::statusLine(simulation.head().positions(), simulation.world().ball(),
                                                     simulation.ballInView(service.intrinsics()));
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
    }
    std::printf("robot_sim: %s received, closing every port\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
    std::fflush(stdout);   // a log then tells a fault while closing from one before the signal
    // On an installed YARP, closing a port asks every connected peer to drop its side and
    // waits for the answer without a limit: a controller that is opening its board client
    // at that moment does not answer, and the simulator would never end.
    ShutdownDeadline deadline;
    deadline.arm(std::chrono::seconds(10),
                 "robot_sim: the ports did not close within 10 s (a peer does not answer); "
                 "exiting without them\n",
                 1);
    service.stop();
    deadline.met();
    std::fflush(stdout);
    return 0;
}
