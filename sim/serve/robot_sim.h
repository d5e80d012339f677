#pragma once
// Serves a Simulation over ports under /icubSim: three control boards, the left camera,
// the world request port, the inertial sensor and the skin of the left hand, with the
// physics and the camera running on their own fixed-rate threads.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulation/simulation.h"

namespace sim {

class RobotSim {
public:
    struct Settings {
        std::size_t width = 320;
        std::size_t height = 240;
        double fps = 30.0;
        bool camera = true;
    };

    static constexpr double kPhysicsStep = 0.01; ///< seconds: the physics runs at 100 Hz

    RobotSim(Simulation& simulation, const Settings& settings);
    RobotSim(const RobotSim&) = delete;
    RobotSim& operator=(const RobotSim&) = delete;
    ~RobotSim();

    /// Opens every port and starts the threads. On failure returns one line naming the
    /// port that could not be opened (and why, when another process holds it), with
    /// everything opened so far closed again; returns an empty string on success.
    std::string start();

    /// Stops the threads and closes every port. Idempotent. The simulation is left as it is:
    /// a later start() serves the same world (ball, joints) again.
    void stop();

    /// After a restart of the name server, which knows none of the ports: opens every port and
    /// board again (which registers them), serving the same world (ball, joints). Returns what
    /// start() returns.
    ///
    /// The boards are not closed but retired: they go on serving the clients they have, and
    /// new clients find the new ones. On an installed YARP a port closes only once it has
    /// asked each peer to drop its side, which takes names the name server knows; a board
    /// whose clients connected before the restart, over connections that give no end of their
    /// own (the clients' command streams), would never finish closing. The retired boards are
    /// left open until the process ends (see hasRetiredBoards()).
    std::string registerAgain();

    /// Whether boards were retired: the process must then end without closing them and
    /// without the middleware's teardown, whose threads they still use (std::_Exit after
    /// stop()).
    bool hasRetiredBoards() const { return !retired_.empty(); }

    /// Whether the last refusal of start() was a port that another program holds (trying
    /// again cannot help then), rather than one the registry or name server would not give.
    bool refusedAsTaken() const { return refusedAsTaken_; }

    const Intrinsics& intrinsics() const { return intrinsics_; }
    /// Camera frames published so far.
    std::uint64_t framesPublished() const { return frames_.load(); }

private:
    struct Boards;
    struct Ports;
    void physicsTick();
    void cameraTick();
    void serveWorld();

    Simulation& sim_;
    Settings settings_;
    Intrinsics intrinsics_;
    std::unique_ptr<Ports> ports_;
    std::thread worldThread_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> frames_{0};
    bool started_ = false;
    bool refusedAsTaken_ = false;
    std::vector<Boards*> retired_;   ///< never destroyed, see registerAgain()
};

} // namespace sim
