#include "agents/robot/board_link.h"

#include <utility>

#include <yarp/os/Network.h>
#include <yarp/os/Property.h>

#include "agents/robot/robot_release.h"

struct BoardOpening {
    const char* refused = "no board";   ///< why the board will not do, or nullptr
    int axes = 0;
};

namespace {

/// Opens a control-board client with the three entries the motor agents configure and takes
/// its views. Asks first whether the board is served, because a client that fails to open
/// reports it at length, and a missing board is tried every second.
bool open_client(BoardClient& client, const std::string& device, const std::string& local,
                 const std::string& remote, BoardOpening& opening)
{
    if (!yarp::os::NetworkBase::exists(remote + "/rpc:i", true)) {
        return false;
    }
    yarp::os::Property options;
    options.put("device", device);
    options.put("local", local);
    options.put("remote", remote);
    // A YARP client otherwise drops a streamed command (a velocity vector) sent while the
    // previous one is still going out: a lapse's zero velocity could be lost, and the joints
    // would keep turning. The wait is for one local datagram.
    options.put("writeStrict", "on");
    if (!client.driver.open(options)) {
        return false;
    }
    client.driver.view(client.encoders);
    client.driver.view(client.position);
    client.driver.view(client.velocity);
    client.driver.view(client.modes);
    int n = 0;
    if (client.encoders == nullptr || !client.encoders->getAxes(&n) || n <= 0) {
        // Nothing may be sized from a failed count: no guess, try again later.
        opening.refused = client.encoders == nullptr ? "no encoder board"
                                                     : "no axis count from the board";
        return false;
    }
    opening.refused = nullptr;
    opening.axes = n;
    return true;
}

} // namespace

BoardLink::~BoardLink()
{
    close();
}

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
    if (late_opening) {
        return adopt_late_open();
    }
    auto fresh = std::make_shared<BoardClient>();
    auto opening = std::make_shared<BoardOpening>();
    bool opened = false;
    // A client that is not kept is closed on the caller's thread, when the call lets go of it.
    const auto outcome = caller.run(
        [fresh, opening, device = device, local = local_port, remote = remote_port] {
            return open_client(*fresh, device, local, remote, *opening);
        },
        opened);
    if (outcome == BoardCaller::Outcome::overran) {
        late_client = std::move(fresh);
        late_opening = std::move(opening);
        refuse("no answer from the board");
        return false;
    }
    if (outcome == BoardCaller::Outcome::refused || !opened) {
        refuse(outcome == BoardCaller::Outcome::refused ? "no answer from the board"
                                                          : opening->refused);
        return false;
    }
    return bind_opened(std::move(fresh), opening->axes);
}

bool BoardLink::adopt_late_open()
{
    if (!caller.wait_idle(std::chrono::milliseconds(0))) {
        state.failed("no answer from the board at " + remote_port + ", trying again every second");
        return false;   // still opening
    }
    auto opened = std::move(late_client);
    auto opening = std::move(late_opening);
    if (opening->refused != nullptr) {
        client = std::move(opened);   // closed by refuse, on the caller's thread
        refuse(opening->refused);
        return false;
    }
    return bind_opened(std::move(opened), opening->axes);
}

bool BoardLink::bind_opened(std::shared_ptr<BoardClient> opened, int axes)
{
    client = std::move(opened);
    axis_count = axes;
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
    auto n = std::make_shared<int>(0);
    if (call([n](BoardClient& c) { return c.encoders->getAxes(n.get()); }) && *n == axis_count) {
        return true;
    }
    if (state.is_up()) {
        lose("lost the board at " + remote_port);
    }
    return false;
}

bool BoardLink::call(std::function<bool(BoardClient&)> work)
{
    if (!state.is_up() || !client) {
        return false;
    }
    bool result = false;
    const auto outcome = caller.run([bound = client, work = std::move(work)] { return work(*bound); },
                                    result);
    if (outcome == BoardCaller::Outcome::done) {
        return result;
    }
    lose("no answer within " + std::to_string(BoardCaller::kBound.count() / 1000)
         + " s from the board at " + remote_port);
    return false;
}

bool BoardLink::read_encoders(yarp::sig::Vector& values)
{
    auto read = std::make_shared<yarp::sig::Vector>(static_cast<std::size_t>(axis_count));
    if (!call([read](BoardClient& c) { return c.encoders->getEncoders(read->data()); })) {
        return false;
    }
    values = *read;
    return true;
}

bool BoardLink::settled_for_release(std::chrono::milliseconds patience, const char* agent)
{
    if (caller.wait_idle(patience)) {
        return true;
    }
    report_stuck_in_call(agent);
    return false;
}

bool BoardLink::read_modes(std::vector<int>& modes)
{
    auto read = std::make_shared<std::vector<int>>(modes.size());
    if (!call([read](BoardClient& c) { return c.modes->getControlModes(read->data()); })) {
        return false;
    }
    modes = *read;
    return true;
}

bool BoardLink::set_mode(int joint, int mode)
{
    return call([joint, mode](BoardClient& c) { return c.modes->setControlMode(joint, mode); });
}

bool BoardLink::set_modes(const std::vector<int>& modes)
{
    return call([modes](BoardClient& c) {
        std::vector<int> all = modes;   // the interface takes a mutable array
        return c.modes->setControlModes(all.data());
    });
}

void BoardLink::lose(const std::string& why)
{
    drop();
    state.lost(why + ", trying again every second");
    state.hold_off();
}

void BoardLink::drop()
{
    state.mark_down();
    axis_count = 0;

    if (!client) {
        return;
    }
    // The close may wait on the board too (a port close asks the peer), so it runs on the
    // caller's thread: the call below holds the last reference. When an earlier call is still
    // in the board, that one holds it, and the client closes once it returns.
    bool closed = false;
    caller.run([gone = std::move(client)] { return gone != nullptr; }, closed);
    client = nullptr;
}

void BoardLink::close()
{
    if (late_opening) {
        // Closed with the bound client, on the caller's thread (by the open itself when it
        // is still running).
        late_opening = nullptr;
        if (!client) {
            client = std::move(late_client);
        }
        late_client = nullptr;
    }
    drop();
}
