// robot_sim: the stand-in for the iCub simulator. Serves the simulated robot under /icubSim
// until SIGINT or SIGTERM, printing one status line per second.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <yarp/os/Network.h>

#include "core/shutdown_deadline.h"
#include "sim/serve/registration_canary.h"
#include "sim/serve/robot_sim.h"
#include "sim/simulation/options.h"
#include "sim/simulation/simulation.h"

namespace {

constexpr int kStartAttempts = 5;

/// Opens every port and board again, which registers them with a name server that was
/// started again; the simulated world goes on as it was. True when they are open. The ports
/// that close (the boards are retired instead, see RobotSim::registerAgain) wait for their
/// peers without a limit on an installed YARP: as in the shutdown, a close that takes more
/// than 10 s ends the program.
bool registerAgain(sim::RobotSim& service, bool& refusalSaid)
{
    ShutdownDeadline deadline;
    deadline.arm(std::chrono::seconds(10),
                 "robot_sim: the ports did not close within 10 s to be registered again "
                 "(a peer does not answer); exiting without them\n",
                 1);
    const std::string failure = service.registerAgain();
    deadline.met();
    if (!failure.empty()) {
        if (!refusalSaid) {
            std::printf("robot_sim: the name server was restarted; %s, trying again every second\n",
                        failure.c_str());
            std::fflush(stdout);
            refusalSaid = true;
        }
        return false;
    }
    refusalSaid = false;
    std::printf("robot_sim: the name server was restarted; registered every port and board again\n");
    std::fflush(stdout);
    return true;
}

} // namespace

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
    // A port refused for another reason than a live holder is tried again a few times: a
    // name server started again while other programs' ports are open hands out their numbers,
    // and the port gets a free one once their owners have opened them again.
    std::string failure = service.start();
    int attempts = 1;
    for (; !failure.empty() && !service.refusedAsTaken() && attempts < kStartAttempts; ++attempts) {
        const timespec retrySpacing{1, 0};
        if (sigtimedwait(&stopSignals, nullptr, &retrySpacing) > 0) {
            break;   // asked to stop: give up with the refusal as it is
        }
        failure = service.start();
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "robot_sim: %s%s\n", failure.c_str(),
                     attempts > 1 ? (" (tried " + std::to_string(attempts) + " times)").c_str() : "");
        return 1;
    }
    // Sees a restarted name server; every port and board is then opened (registered) again.
    sim::RegistrationCanary canary("/robot_sim/registration");
    if (options.camera) {
        std::printf("robot_sim: serving /icubSim (camera %zux%zu at %g frames/s)\n", options.width, options.height,
                    options.fps);
    } else {
        std::printf("robot_sim: serving /icubSim (camera off)\n");
    }
    std::fflush(stdout);

    const timespec statusPeriod{1, 0};
    int signal = 0;
    unsigned ticks = 0;
    bool reopening = false;   // the name server was restarted and the ports are not open yet
    bool refusalSaid = false;
    while (signal <= 0) {
        signal = sigtimedwait(&stopSignals, nullptr, &statusPeriod);
        if (signal > 0) {
            break;
        }
        // Every second tick: the check is a round trip to the name server.
        if (++ticks % 2 == 0 && canary.check() == sim::RegistrationCanary::Seen::Restarted) {
            reopening = true;
        }
        if (reopening) {
            reopening = !registerAgain(service, refusalSaid);
        }
        if (options.status) {
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
    if (service.hasRetiredBoards()) {
        std::printf("robot_sim: the boards served before the name server's restart end with the process\n");
        std::fflush(stdout);
        std::_Exit(0);
    }
    std::fflush(stdout);
    return 0;
}
