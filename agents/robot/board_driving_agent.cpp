#include "agents/robot/board_driving_agent.h"

#include <utility>

#include "core/report.h"

BoardDrivingAgent::BoardDrivingAgent(std::string key, const char* agent_class_name,
                                     int wanted_mode, std::shared_ptr<ControlModeBook> mode_book)
    : Agent(key), agent_class(agent_class_name), control_mode(wanted_mode),
      modes(mode_book ? std::move(mode_book) : std::make_shared<ControlModeBook>())
{
    print_agent_created(key);
}

void BoardDrivingAgent::start_board(const std::string& key, const std::string& device,
                                    const std::string& local, const std::string& remote)
{
    link.configure(agent_class, key, device, local, remote);
    {
        std::lock_guard<DeviceLock> lock(device_lock);
        bind_board();
    }
    // Once a second: is the board still there, or back?
    check_timer = timer_attach(1000, 1000, 1000);
}

void BoardDrivingAgent::bind_board()
{
    if (!link.open_if_due()) {
        return;
    }
    if (const char* missing = take_views()) {
        link.refuse(missing);
        return;
    }
    const int n = link.axes();
    ControlModeAccess* view = link.offers_modes() ? &link : nullptr;
    modes->bound(link.remote(), view, n);
    holding = true;
    mode_guard = ControlModeGuard(*modes, view, n, control_mode, link.remote());
    set_up(n);
    link.accept();
}

void BoardDrivingAgent::sense_select_act(int id)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;
    }
    if (id == check_timer) {
        if (!link.bound()) {
            bind_board();
        } else {
            link.still_there();
        }
    } else if (link.bound()) {
        command();   // otherwise nothing to command: the check binds the board once it is back
    }
    let_go_if_lost();
}

void BoardDrivingAgent::let_go_if_lost()
{
    // A board is lost by a check or by a command that got no answer within the bound.
    if (holding && !link.bound()) {
        holding = false;
        modes->unbound(link.remote());
    }
}

bool BoardDrivingAgent::release_stop(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, agent_class)) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    released = true;
    if (link.bound()) {
        stop_joints();
    }
    let_go_if_lost();
    // A call still in a board that stopped answering: the robot does not answer.
    return link.settled_for_release(patience, agent_class);
}

bool BoardDrivingAgent::release_restore(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, agent_class)) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    if (link.bound()) {
        // The modes found when the first agent of the program bound the board, whichever
        // agent switched a joint since.
        mode_guard.restore(modes->found(link.remote()));
    }
    link.close();
    let_go_if_lost();
    // A close that waits on its peer past the bound is still in the middleware.
    return link.settled_for_release(std::chrono::milliseconds(0), agent_class);
}
