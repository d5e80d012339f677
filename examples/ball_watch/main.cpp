// ball_watch: the standard agents of agent_controller, without its windows, and one agent of
// our own beside them (BallWatchAgent). Runs until SIGINT or SIGTERM (or --seconds), then
// stops the joints the agents drove, as the controllers do.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <string>
#include <vector>

#include <yarp/os/Network.h>

#include "agents/robot/robot_release.h"
#include "app/wiring.h"
#include "ball_watch_agent.h"

namespace {

void print_usage()
{
    std::puts("Usage: ball_watch [--seconds N]\n"
              "\n"
              "Runs the controller's standard agents (no windows) and BallWatchAgent, which\n"
              "prints when the blue ball comes into view and how long it stayed, and keeps the\n"
              "seconds in view under \"ball_in_view\". Needs the simulator's ports under\n"
              "/icubSim (the iCub simulator or robot_sim).\n"
              "\n"
              "Options:\n"
              "  --seconds N   end after N seconds (default: run until SIGINT or SIGTERM)\n"
              "  -h, --help    print this text and exit");
}

} // namespace

int main(int argc, char** argv)
{
    long seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            print_usage();
            return 0;
        }
        if (a == "--seconds" && i + 1 < argc) {
            char* end = nullptr;
            seconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || seconds <= 0 || seconds > 86400) {
                std::fprintf(stderr, "ball_watch: --seconds needs a whole number from 1 to 86400\n");
                return 2;
            }
            continue;
        }
        std::fprintf(stderr, "ball_watch: unknown argument '%s' (see --help)\n", a.c_str());
        return 2;
    }

    // Blocked here, so in every thread started after: the main thread alone takes them.
    sigset_t quit;
    sigemptyset(&quit);
    sigaddset(&quit, SIGINT);
    sigaddset(&quit, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &quit, nullptr);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    write_full_configuration(*Space::getSpace());
    Space::getSpace()->write(std::string("watchConfig"), BallWatchAgent::defaults(), 0, 1.0f);

    yarp::os::Network yarp;
    std::vector<Agent*> agents = create_full_agents();
    agents.push_back(new BallWatchAgent("watchConfig"));
    start_agents(agents, stdout);
    std::puts("");

    if (seconds > 0) {
        const timespec limit{seconds, 0};
        sigtimedwait(&quit, nullptr, &limit);
    } else {
        int signal = 0;
        sigwait(&quit, &signal);
    }
    // The head is left as it was found: joints stopped, control modes put back. An agent
    // stuck in a call to the robot is inside the middleware: tearing it down under that thread
    // would crash the process, so the program then ends without the teardown.
    if (release_robot_agents(agents) != robot_releasers(agents)) {
        std::puts("ball_watch: the robot does not answer; ending without the rest of the shutdown");
        std::fflush(stdout);
        std::_Exit(0);
    }
    return 0;
}
