#include "app/program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agents/robot/robot_release.h"
#include "app/signal_quit.h"
#include "core/shutdown_deadline.h"

namespace {

bool wants_help(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    }
    return false;
}

void print_usage(const char* program, const char* summary) {
    std::printf(
        "Usage: %s [Qt options]\n"
        "\n"
        "%s\n"
        "\n"
        "The simulator's ports under /icubSim may come up before or after the program, and\n"
        "may go away and come back: the agents that need them try again every second. After\n"
        "a restart of the YARP name server the program registers its ports again. The\n"
        "program runs until its shown windows are closed or it receives SIGINT or SIGTERM;\n"
        "then it stops the head joints it drove and puts back their control modes.\n"
        "\n"
        "Options:\n"
        "  -h, --help   print this text and exit\n"
        "Every other argument goes to Qt (for example -platform offscreen).\n"
        "\n"
        "Environment:\n"
        "  AGENT_CONTROLLER_PORTS   port registry directory of the bundled YARP layer\n",
        program, summary);
}

}  // namespace

bool answered_help(int argc, char** argv, const char* program, const char* summary) {
    if (!wants_help(argc, argv)) return false;
    print_usage(program, summary);
    return true;
}

void begin_controller() {
    SignalQuit::blockInThisThread();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::puts("Main started ");
}

void release_or_end(const std::vector<Agent*>& agents, int status, ShutdownDeadline& deadline,
                    const char* program)
{
    deadline.arm(std::chrono::seconds(20),
                 std::string(program) + ": the shutdown did not finish within 20 s; ending without it\n",
                 status);
    if (release_robot_agents(agents) == robot_releasers(agents)) {
        return;
    }
    std::printf("%s: the robot does not answer; ending without the rest of the shutdown\n", program);
    std::fflush(stdout);
    std::_Exit(status);
}
