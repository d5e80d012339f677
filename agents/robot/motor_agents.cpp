#include "agents/robot/motor_agents.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <utility>

#include <yarp/os/Network.h>
#include <yarp/os/Property.h>

namespace {

/// Prints one diagnostic line at once, so that lines of concurrent agents never mix and
/// reach a pipe in the order they were made.
void print_line(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

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

/// Attempts to bind a missing board are this far apart; the agents' checks come once a
/// second, so a little less keeps them from skipping one.
constexpr std::chrono::milliseconds kRetrySpacing{900};


/// The view of `driver` as an IControlMode, or nullptr when the board offers none.
yarp::dev::IControlMode* control_mode_view(yarp::dev::PolyDriver& driver)
{
    yarp::dev::IControlMode* modes = nullptr;
    if (!driver.view(modes)) {
        return nullptr;
    }
    return modes;
}

} // namespace

// --- printed lines -------------------------------------------------------------------------

std::string joint_vector_text(const yarp::sig::Vector& values)
{
    std::ostringstream out;   // default notation: six significant digits, %g-like
    for (std::size_t i = 0; i < values.size(); ++i) {
        out << ' ' << values[i];
    }
    return out.str();
}

std::string read_line(const yarp::sig::Vector& values)
{
    return "read: " + joint_vector_text(values) + " \n";
}

// --- AxisCountCheck ------------------------------------------------------------------------

AxisCountCheck::AxisCountCheck(std::string agent_name, std::string key_name, int axis_count)
    : agent(std::move(agent_name)), key(std::move(key_name)), axes(axis_count)
{
}

bool AxisCountCheck::accept(const yarp::sig::Vector& values)
{
    if (values.size() == static_cast<std::size_t>(axes)) {
        refused_last = false;
        return true;
    }
    const bool seen_before = refused_last && values.size() == last_refused.size()
        && std::equal(values.begin(), values.end(), last_refused.begin());
    if (!seen_before) {
        print_line(agent + ": refused " + std::to_string(values.size()) + " values under "
                   + key + ", the board has " + std::to_string(axes) + " axes\n");
    }
    refused_last = true;
    last_refused = values;
    return false;
}

// --- ControlModeGuard ----------------------------------------------------------------------

ControlModeGuard::ControlModeGuard(yarp::dev::IControlMode* mode_view, int axis_count,
                                   int wanted_mode, std::string board_name)
    : modes(mode_view), axes(axis_count), wanted(wanted_mode),
      current(static_cast<std::size_t>(axis_count), 0), board(std::move(board_name))
{
}

void ControlModeGuard::ensure()
{
    if (modes == nullptr || axes <= 0) {
        return;
    }
    if (modes->getControlModes(current.data())) {
        if (!board.empty()) {
            FoundModes::note(board, current);
        }
        RecentModeSwitches::overlay(board, current);
        for (int j = 0; j < axes; ++j) {
            if (current[static_cast<std::size_t>(j)] != wanted) {
                switch_joint(j, wanted);
            }
        }
        return;
    }
    // The board could not tell (a client knows nothing before its first state message):
    // only this program's recent switches are known.
    std::fill(current.begin(), current.end(), 0);
    RecentModeSwitches::overlay(board, current);
    if (std::all_of(current.begin(), current.end(), [&](int m) { return m == wanted; })) {
        return;
    }
    if (!board.empty()) {
        FoundModes::switched_unread(board);
    }
    switch_all(std::vector<int>(static_cast<std::size_t>(axes), wanted));
}

void ControlModeGuard::restore(std::vector<int> found)
{
    if (modes == nullptr || axes <= 0) {
        return;
    }
    if (found.size() != static_cast<std::size_t>(axes)) {
        // Never read: joints start in position mode on the robot and its simulators.
        found.assign(static_cast<std::size_t>(axes), VOCAB_CM_POSITION);
    }
    if (!modes->getControlModes(current.data())) {
        switch_all(found);
        return;
    }
    RecentModeSwitches::overlay(board, current);
    for (int j = 0; j < axes; ++j) {
        const auto i = static_cast<std::size_t>(j);
        if (current[i] != found[i]) {
            switch_joint(j, found[i]);
        }
    }
}

void ControlModeGuard::switch_joint(int j, int mode)
{
    modes->setControlMode(j, mode);
    RecentModeSwitches::made(board, j, mode);
}

void ControlModeGuard::switch_all(std::vector<int> all)
{
    modes->setControlModes(all.data());
    for (int j = 0; j < axes; ++j) {
        RecentModeSwitches::made(board, j, all[static_cast<std::size_t>(j)]);
    }
}

// --- RecentModeSwitches --------------------------------------------------------------------

namespace {

struct ModeSwitch {
    int mode;
    std::chrono::steady_clock::time_point at;
};

std::mutex recent_switches_mutex;
/// Per board, per joint: the switch not yet seen in a reading.
std::map<std::string, std::map<int, ModeSwitch>>& recent_switches()
{
    static auto* switches = new std::map<std::string, std::map<int, ModeSwitch>>;
    return *switches;
}

} // namespace

void RecentModeSwitches::made(const std::string& board, int joint, int mode)
{
    if (board.empty()) {
        return;   // an unnamed guard cannot be told apart from another board's
    }
    std::lock_guard<std::mutex> lock(recent_switches_mutex);
    recent_switches()[board][joint] = ModeSwitch{mode, std::chrono::steady_clock::now()};
}

void RecentModeSwitches::overlay(const std::string& board, std::vector<int>& modes)
{
    std::lock_guard<std::mutex> lock(recent_switches_mutex);
    auto found = recent_switches().find(board);
    if (found == recent_switches().end()) {
        return;
    }
    auto& joints = found->second;
    const auto now = std::chrono::steady_clock::now();
    for (auto it = joints.begin(); it != joints.end();) {
        const auto j = static_cast<std::size_t>(it->first);
        const bool shown = j >= modes.size() || modes[j] == it->second.mode;
        if (shown || now - it->second.at > kTrust) {
            it = joints.erase(it);
        } else {
            modes[j] = it->second.mode;
            ++it;
        }
    }
}

// --- FoundModes ----------------------------------------------------------------------------

namespace {

struct BoardRecord {
    int holders = 0;          // agents of this program that hold the board
    std::vector<int> modes;   // as found by the first of them
    bool switched = false;    // joints switched while `modes` was still unknown
};

std::mutex found_modes_mutex;
std::map<std::string, BoardRecord>& board_records()
{
    static auto* records = new std::map<std::string, BoardRecord>;   // outlives every agent
    return *records;
}

} // namespace

void FoundModes::bound(const std::string& board, yarp::dev::IControlMode* view, int axes)
{
    std::lock_guard<std::mutex> lock(found_modes_mutex);
    BoardRecord& record = board_records()[board];
    if (record.holders++ > 0) {
        return;   // another agent holds it: its joints may already be switched
    }
    record.switched = false;
    record.modes.assign(static_cast<std::size_t>(axes), 0);
    if (view == nullptr || !view->getControlModes(record.modes.data())) {
        record.modes.clear();
    }
}

void FoundModes::note(const std::string& board, const std::vector<int>& modes)
{
    std::lock_guard<std::mutex> lock(found_modes_mutex);
    auto found = board_records().find(board);
    if (found != board_records().end() && found->second.holders > 0
        && found->second.modes.empty() && !found->second.switched) {
        found->second.modes = modes;
    }
}

void FoundModes::switched_unread(const std::string& board)
{
    std::lock_guard<std::mutex> lock(found_modes_mutex);
    auto found = board_records().find(board);
    if (found != board_records().end() && found->second.holders > 0
        && found->second.modes.empty()) {
        found->second.switched = true;
    }
}

void FoundModes::unbound(const std::string& board)
{
    std::lock_guard<std::mutex> lock(found_modes_mutex);
    auto found = board_records().find(board);
    if (found != board_records().end() && found->second.holders > 0) {
        --found->second.holders;
    }
}

std::vector<int> FoundModes::of(const std::string& board)
{
    std::lock_guard<std::mutex> lock(found_modes_mutex);
    auto found = board_records().find(board);
    return found == board_records().end() ? std::vector<int>() : found->second.modes;
}

// --- BoardLink -----------------------------------------------------------------------------

void BoardLink::configure(std::string agent_name, std::string config_key, std::string device_name,
                          std::string local, std::string remote)
{
    agent = std::move(agent_name);
    key = std::move(config_key);
    device = std::move(device_name);
    local_port = std::move(local);
    remote_port = std::move(remote);
}

void BoardLink::report(const std::string& what)
{
    print_line(agent + " " + key + ": " + what + "\n");
}

bool BoardLink::open_if_due()
{
    if (is_bound) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (ever_tried && now - last_attempt < kRetrySpacing) {
        return false;
    }
    ever_tried = true;
    last_attempt = now;
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
    is_bound = true;
    return true;
}

void BoardLink::accept()
{
    if (unbound_reported) {
        report("bound the board at " + remote_port + " (" + std::to_string(axis_count)
               + " axes)");
        unbound_reported = false;
    }
}

void BoardLink::refuse(const char* why)
{
    drop();
    if (!unbound_reported) {
        report(std::string(why) + " at " + remote_port + ", trying again every second");
        unbound_reported = true;
    }
}

bool BoardLink::still_there()
{
    if (!is_bound) {
        return false;
    }
    int n = 0;
    if (encoders->getAxes(&n) && n == axis_count) {
        return true;
    }
    drop();
    report("lost the board at " + remote_port + ", trying again every second");
    unbound_reported = true;
    last_attempt = std::chrono::steady_clock::now();
    return false;
}

void BoardLink::drop()
{
    is_bound = false;
    encoders = nullptr;
    axis_count = 0;
    driver.close();
}

void BoardLink::close()
{
    drop();
}

namespace {

/// The once-a-second check of a driving agent: bind a missing board, or notice a lost one.
template <class Bind>
void check_board(BoardLink& link, Bind bind)
{
    if (!link.bound()) {
        bind();
    } else if (!link.still_there()) {
        FoundModes::unbound(link.remote());
    }
}

/// The second step of a release: the joints back in the modes found, the client closed.
bool restore_and_close(DeviceLock& device_lock, std::chrono::milliseconds patience,
                       const char* agent, BoardLink& link, ControlModeGuard& guard)
{
    if (!take_for_release(device_lock, patience, agent)) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    if (link.bound()) {
        guard.restore(FoundModes::of(link.remote()));
        FoundModes::unbound(link.remote());
        link.close();
    }
    return true;
}

} // namespace

// --- MotorAgent ----------------------------------------------------------------------------

MotorAgent::MotorAgent(std::string key) : Agent(key)
{
    std::printf("New agent with confBlock %s created \n", key.c_str());
    std::fflush(stdout);
}

MotorAgent::~MotorAgent()
{
    if (link.bound() && position_control != nullptr) {
        position_control->stop();
    }
    link.close();
}

void MotorAgent::init(std::string key)
{
    ConfBlock defaults;
    defaults.name = "HeadAgent";
    defaults.joints_key = "head_joints";
    defaults.speed_key = "head_speed";
    defaults.acc_key = "head_acc";
    defaults.device = "remote_controlboard";
    defaults.local_port = "/test/client";
    defaults.remote_port = "/icubSim/head";
    config = space_read(key, defaults);
    link.configure("MotorAgent", key, config.device, config.local_port, config.remote_port);

    {
        std::lock_guard<DeviceLock> lock(device_lock);
        bind_board();
    }
    // Once a second: is the board still there, or back?
    check_timer = timer_attach(1000, 1000, 1000);
    trigger_attach(config.joints_key, 1);
    trigger_attach(config.acc_key, 1);
    trigger_attach(config.speed_key, 1);
}

void MotorAgent::bind_board()
{
    if (!link.open_if_due()) {
        return;
    }
    position_control = nullptr;
    link.driver.view(position_control);
    if (position_control == nullptr) {
        link.refuse("no position-controlled board");
        return;
    }
    const int n = link.axes();
    const std::size_t axes = static_cast<std::size_t>(n);
    targets.resize(axes, 0.0);
    speeds.resize(axes, 0.0);
    accelerations.resize(axes, 0.0);
    zero_targets.resize(axes, 0.0);
    default_refs.resize(axes, 30.0);
    yarp::dev::IControlMode* modes = control_mode_view(link.driver);
    FoundModes::bound(link.remote(), modes, n);
    position_mode = ControlModeGuard(modes, n, VOCAB_CM_POSITION, link.remote());
    joints_check = AxisCountCheck("MotorAgent", config.joints_key, n);
    speed_check = AxisCountCheck("MotorAgent", config.speed_key, n);
    acc_check = AxisCountCheck("MotorAgent", config.acc_key, n);

    position_control->setRefAccelerations(default_refs.data());
    position_control->setRefSpeeds(default_refs.data());
    link.accept();
}

void MotorAgent::sense_select_act(int id)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;
    }
    if (id == check_timer) {
        check_board(link, [this] { bind_board(); });
        return;
    }
    if (!link.bound()) {
        return;   // nothing to command; the check binds the board once it is back
    }

    // The move goes out first, so it runs with the references of the previous activation.
    yarp::sig::Vector read = space_read(config.joints_key, zero_targets);
    if (joints_check.accept(read)) {
        targets = read;
        position_mode.ensure();   // a board drops position commands in any other mode
        position_control->positionMove(targets.data());
        print_line(read_line(targets));
    }

    read = space_read(config.acc_key, default_refs);
    if (acc_check.accept(read)) {
        accelerations = read;
        position_control->setRefAccelerations(accelerations.data());
    }

    read = space_read(config.speed_key, default_refs);
    if (speed_check.accept(read)) {
        speeds = read;
        position_control->setRefSpeeds(speeds.data());
    }
}

bool MotorAgent::release_stop(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, "MotorAgent")) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    released = true;
    if (link.bound()) {
        position_control->stop();
    }
    return true;
}

bool MotorAgent::release_restore(std::chrono::milliseconds patience)
{
    return restore_and_close(device_lock, patience, "MotorAgent", link, position_mode);
}

// --- VelocityMotorAgent --------------------------------------------------------------------

VelocityMotorAgent::VelocityMotorAgent(std::string key) : Agent(key)
{
    std::printf("New agent with confBlock %s created \n", key.c_str());
    std::fflush(stdout);
}

VelocityMotorAgent::~VelocityMotorAgent()
{
    if (link.bound() && velocity_control != nullptr) {
        velocity_control->stop();
    }
    link.close();
}

void VelocityMotorAgent::init(std::string key)
{
    VelocityBlock defaults;
    defaults.name = "HeadAgent";
    defaults.velocity_key = "head_vel";
    defaults.encoder_key = "head_enc";
    defaults.device = "remote_controlboard";
    defaults.local_port = "/test/client2";
    defaults.remote_port = "/icubSim/head";
    config = space_read(key, defaults);
    link.configure("VelocityMotorAgent", key, config.device, config.local_port,
                   config.remote_port);

    {
        std::lock_guard<DeviceLock> lock(device_lock);
        bind_board();
    }
    check_timer = timer_attach(1000, 1000, 1000);
    trigger_attach(config.velocity_key, 1);
}

void VelocityMotorAgent::bind_board()
{
    if (!link.open_if_due()) {
        return;
    }
    velocity_control = nullptr;
    link.driver.view(velocity_control);
    if (velocity_control == nullptr) {
        link.refuse("no velocity-controlled board");
        return;
    }
    const int n = link.axes();
    velocities.resize(static_cast<std::size_t>(n), 0.0);
    zero_velocities.resize(static_cast<std::size_t>(n), 0.0);
    yarp::dev::IControlMode* modes = control_mode_view(link.driver);
    FoundModes::bound(link.remote(), modes, n);
    velocity_mode = ControlModeGuard(modes, n, VOCAB_CM_VELOCITY, link.remote());
    velocity_check = AxisCountCheck("VelocityMotorAgent", config.velocity_key, n);
    drove = false;
    link.accept();
}

void VelocityMotorAgent::sense_select_act(int id)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;
    }
    if (id == check_timer) {
        check_board(link, [this] { bind_board(); });
        return;
    }
    if (!link.bound()) {
        return;
    }

    yarp::sig::Vector read = space_read(config.velocity_key, zero_velocities);
    // A vector of the wrong length is no valid command: stop rather than keep the last one.
    velocities = velocity_check.accept(read) ? read : zero_velocities;
    velocity_mode.ensure();   // a board drops velocity commands in any other mode
    velocity_control->velocityMove(velocities.data());
    drove = true;
    print_line(read_line(velocities));
}

bool VelocityMotorAgent::release_stop(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, "VelocityMotorAgent")) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    released = true;
    if (link.bound() && drove) {
        // Zero first, while the joints are still in velocity mode: a simulated joint keeps
        // its last velocity after its client has gone, and takes it up again whenever it is
        // put back in velocity mode.
        velocity_control->velocityMove(zero_velocities.data());
        velocity_control->stop();
    }
    return true;
}

bool VelocityMotorAgent::release_restore(std::chrono::milliseconds patience)
{
    return restore_and_close(device_lock, patience, "VelocityMotorAgent", link, velocity_mode);
}

// --- PositionAgent -------------------------------------------------------------------------

PositionAgent::PositionAgent(std::string key) : Agent(key)
{
    release_name = "PositionAgent";
    std::printf("New agent with confBlock %s created \n", key.c_str());
    std::fflush(stdout);
}

PositionAgent::~PositionAgent()
{
    link.close();
}

void PositionAgent::init(std::string key)
{
    PositionBlock defaults;
    defaults.name = "HeadAgent";
    defaults.encoder_key = "head_enc";
    defaults.device = "remote_controlboard";
    defaults.local_port = "/test/client2";
    defaults.remote_port = "/icubSim/head";
    defaults.delay_ms = 100;
    defaults.period_ms = 500;
    config = space_read(key, defaults);
    link.configure("PositionAgent", key, config.device, config.local_port, config.remote_port);

    {
        std::lock_guard<DeviceLock> lock(device_lock);
        if (!released) {
            bind_board();
        }
    }
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

bool PositionAgent::release_restore(std::chrono::milliseconds patience)
{
    if (!take_for_release(device_lock, patience, release_name)) {
        return false;
    }
    std::lock_guard<DeviceLock> lock(device_lock, std::adopt_lock);
    link.close();
    return true;
}

void PositionAgent::bind_board()
{
    if (link.open_if_due()) {
        encoder_values.resize(static_cast<std::size_t>(link.axes()), 0.0);
        last_check = std::chrono::steady_clock::now();
        link.accept();
    }
}

void PositionAgent::sense_select_act(int /*id*/)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;
    }
    if (!link.bound()) {
        bind_board();   // no more often than about once a second, whatever the period
        if (!link.bound()) {
            return;
        }
    }
    // A board that stopped answering may still leave the last readings in its client: ask
    // it for its axis count about once a second.
    const auto now = std::chrono::steady_clock::now();
    if (now - last_check >= kRetrySpacing) {
        last_check = now;
        if (!link.still_there()) {
            return;
        }
    }
    // A client fails the read until it has the board's first state, leaving the buffer
    // unwritten: publish nothing rather than values that were never read.
    if (!link.encoders->getEncoders(encoder_values.data())) {
        return;
    }
    space_write(config.encoder_key, encoder_values, 0, 1.0f);
}
