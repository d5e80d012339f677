#include "agents/robot/board_link.h"

#include <utility>

#include <yarp/os/Network.h>
#include <yarp/os/Property.h>

namespace {

/// Opens a control-board client with the three entries the motor agents configure.
bool open_board(yarp::dev::PolyDriver& driver, const std::string& device,
                const std::string& local, const std::string& remote)
{
    yarp::os::Property options;
    options.put("device", device);
    options.put("local", local);
    options.put("remote", remote);
    // A YARP client otherwise drops a streamed command (a velocity vector) sent while the
    // previous one is still going out: a lapse's zero velocity could be lost, and the joints
    // would keep turning. The wait is for one local datagram.
    options.put("writeStrict", "on");
    return driver.open(options);
}

/// Whether a control board is served as `remote`. Asked before opening a client, because a
/// client that fails to open reports it at length, and a missing board is tried every second.
bool board_served(const std::string& remote)
{
    return yarp::os::NetworkBase::exists(remote + "/rpc:i", true);
}

} // namespace

void BoardLink::configure(std::string agent_name, std::string config_key, std::string device_name,
                          std::string local, std::string remote)
{
    state.name(std::move(agent_name), std::move(config_key));
    device = std::move(device_name);
    local_port = std::move(local);
    remote_port = std::move(remote);
}

bool BoardLink::open_if_due()
{
    if (!state.attempt_due()) {
        return false;
    }
    encoders = nullptr;
    if (!board_served(remote_port) || !open_board(driver, device, local_port, remote_port)) {
        driver.close();
        refuse("no board");
        return false;
    }
    driver.view(encoders);
    int n = 0;
    if (encoders == nullptr || !encoders->getAxes(&n) || n <= 0) {
        // Nothing may be sized from a failed count: no guess, try again later.
        refuse(encoders == nullptr ? "no encoder board" : "no axis count from the board");
        return false;
    }
    axis_count = n;
    state.mark_up();
    return true;
}

void BoardLink::accept()
{
    state.recovered("bound the board at " + remote_port + " (" + std::to_string(axis_count)
                    + " axes)");
}

void BoardLink::refuse(const char* why)
{
    drop();
    state.failed(std::string(why) + " at " + remote_port + ", trying again every second");
}

bool BoardLink::still_there()
{
    if (!state.is_up()) {
        return false;
    }
    int n = 0;
    if (encoders->getAxes(&n) && n == axis_count) {
        return true;
    }
    drop();
    state.lost("lost the board at " + remote_port + ", trying again every second");
    state.hold_off();
    return false;
}

yarp::dev::IControlMode* BoardLink::control_modes()
{
    yarp::dev::IControlMode* modes = nullptr;
    if (!driver.view(modes)) {
        return nullptr;
    }
    return modes;
}

void BoardLink::drop()
{
    state.mark_down();
    encoders = nullptr;
    axis_count = 0;
    driver.close();
}

void BoardLink::close()
{
    drop();
}
