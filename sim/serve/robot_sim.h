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

    /// Stops the threads and closes every port. Idempotent.
    void stop();

    const Intrinsics& intrinsics() const { return intrinsics_; }
    /// Camera frames published so far.
    std::uint64_t framesPublished() const { return frames_.load(); }

private:
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
};

} // namespace sim
