// agent_controller: the full controller. Tracks the blue ball with the head and eyes, lets
// the operator move the head joints and place the ball.
#include <cstdio>
#include <vector>

#include <QApplication>

#include <yarp/os/Network.h>

#include "agents/robot/motor_agents.h"
#include "app/name_server_canary.h"
#include "app/program.h"
#include "core/shutdown_deadline.h"
#include "app/signal_quit.h"
#include "app/space_ports.h"
#include "app/wiring.h"
#include "gui/armcontrolgui.h"
#include "gui/headcontrolgui.h"
#include "gui/worldgui.h"

int main(int argc, char** argv) {
    if (answered_help(argc, argv, "agent_controller",
                      "Finds the blue ball in the left camera image and turns the head and eyes\n"
                      "toward it, searching with the eyes while it is not seen. Shows the head\n"
                      "control window and the world window (ball placement).")) {
        return 0;
    }
    begin_controller();
    ShutdownDeadline deadline;   // first in, last out: it watches the whole teardown

    // Every block is in the Space before any agent exists: agents read theirs when their
    // threads start.
    const FullConfiguration config = write_full_configuration(*Space::getSpace());

    yarp::os::Network yarp;  // before any port: windows and agents open ports
    // Sees a restarted name server; every long-lived port is then opened (registered) again.
    const std::shared_ptr<RegistrationWatch> name_server = watch_name_server("/agent_controller");
    QApplication app(argc, argv);
    SignalQuit signal_quit;
    // The Space for the inspector: space_inspector, or "yarp rpc /agent_controller/space/rpc".
    SpacePorts space_ports(*Space::getSpace(), "/agent_controller", name_server);

    HeadControlGui head_window;
    head_window.space_key = config.head.joints_key;
    head_window.show();

    HeadControlGui head_velocity_window;  // built and configured, never shown
    head_velocity_window.enableVelocity(true);
    head_velocity_window.space_key = config.head_velocity.velocity_key;

    ArmControlGui left_arm_window;  // never shown
    left_arm_window.setName("Left Arm Controls:");
    left_arm_window.enableVelocity(false);
    left_arm_window.space_key = config.left_arm_velocity.velocity_key;

    ArmControlGui right_arm_window;  // never shown
    right_arm_window.setName("Right Arm Controls:");
    right_arm_window.space_key = config.right_arm.joints_key;

    WorldGui world_window;
    world_window.followRegistration(name_server);
    world_window.show();

    // The agents are never stopped or deleted: their threads run until the process exits.
    std::vector<Agent*> agents = create_full_agents(name_server);
    start_agents(agents, stdout);

    signal_quit.acceptOnThisThread();
    // Returns when the last shown window closes or SIGINT/SIGTERM arrives.
    const int status = app.exec();
    // The head is left as it was found: joints stopped (a simulated joint keeps its last
    // velocity after the program has gone) and back in their start modes. The locals then go
    // in reverse order: agent list, windows, signal handling, Qt, YARP, blocks.
    release_or_end(agents, status, deadline, "agent_controller");
    name_server->stop();   // the agents keep it; its thread must be gone before YARP is
    return status;
}
