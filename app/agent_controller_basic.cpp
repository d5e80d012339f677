// agent_controller_basic: the head motor agent alone, driven by the head control window, and
// the world window.
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
#include "gui/headcontrolgui.h"
#include "gui/worldgui.h"

int main(int argc, char** argv) {
    if (answered_help(argc, argv, "agent_controller_basic",
                      "Moves the head joints to the positions of the head control window's\n"
                      "sliders and places the ball from the world window. Restore switches the\n"
                      "sliders to -50..50 and centres them.")) {
        return 0;
    }
    begin_controller();
    ShutdownDeadline deadline;   // first in, last out: it watches the whole teardown

    const ConfBlock head_config = write_basic_configuration(*Space::getSpace());

    yarp::os::Network yarp;
    const std::shared_ptr<RegistrationWatch> name_server = watch_name_server("/agent_controller_basic");
    QApplication app(argc, argv);
    SignalQuit signal_quit;
    // The Space for the inspector: space_inspector, or "yarp rpc /agent_controller_basic/space/rpc".
    SpacePorts space_ports(*Space::getSpace(), "/agent_controller_basic", name_server);

    HeadControlGui head_window;
    head_window.setRestoreMode(HeadControlGui::RestoreMode::VelocityRanges);
    head_window.enableVelocity(false);
    head_window.space_key = head_config.joints_key;
    head_window.show();

    WorldGui world_window;
    world_window.followRegistration(name_server);
    world_window.show();

    // Never stopped or deleted, as in the full controller.
    std::vector<Agent*> agents = create_basic_agents();
    start_agents(agents, stdout);

    signal_quit.acceptOnThisThread();
    const int status = app.exec();
    // Head stopped and back in its start modes, as in the full one.
    release_or_end(agents, status, deadline, "agent_controller_basic");
    name_server->stop();
    return status;
}
