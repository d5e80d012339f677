#pragma once
// The whole simulated robot and world, free of any transport: three control boards, the
// ball, and the sensor models, advanced together in fixed steps by whoever owns it (the
// physics loop of robot_sim, or a test on simulated time).
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/model/joint_board.h"
#include "sim/model/robot_model.h"
#include "sim/model/scene.h"
#include "sim/model/sensors.h"
#include "sim/model/world_model.h"
#include "sim/render/camera.h"
#include "sim/render/renderer.h"

namespace sim {

class Simulation {
public:
    struct Config {
        bool gravity = true;       ///< a ball set in mid-air falls
        bool extraObjects = false; ///< a red and a green block beyond the table
    };

    /// Sensor readings of the latest step.
    struct SensorFrame {
        InertialModel::Reading inertial{};
        std::vector<double> leftHandSkin;
    };

    /// The robot at its start pose, the ball at rest on the table.
    explicit Simulation(const Config& config);
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    JointBoard& head() { return head_; }
    JointBoard& leftArm() { return leftArm_; }
    JointBoard& rightArm() { return rightArm_; }
    WorldModel& world() { return world_; }
    const Scene& scene() const { return scene_; }
    const Renderer& renderer() const { return renderer_; }

    /// Advances joints and ball by `dt` seconds, recomputes the sensor readings and hands
    /// the renderer the body in its new pose. Called from one thread at a time.
    SensorFrame step(double dt);

    /// Readings of the latest step (zeros and an empty skin before the first).
    SensorFrame sensors() const;

    Pose leftEye() const;
    Vec3 hand(Side side) const;

    /// Renders the left camera's view into `pixels` (see Renderer::render).
    void renderLeftCamera(const Intrinsics& k, std::uint8_t* pixels, std::size_t rowBytes) const;

    /// Where the ball appears in the left camera (centre of its image), or nothing when it
    /// is out of the field of view or hidden behind something.
    std::optional<Pixel> ballInView(const Intrinsics& k) const;

private:
    void updateBody();

    Scene scene_;
    Renderer renderer_;
    JointBoard head_;
    JointBoard leftArm_;
    JointBoard rightArm_;
    WorldModel world_;
    InertialModel inertial_;
    mutable std::mutex sensorsMutex_;
    SensorFrame sensors_;
    /// Joints of the body last handed to the renderer (stepping thread only): head, left
    /// arm, right arm.
    std::vector<double> bodyJoints_;
};

/// One line describing the head, the ball and where the ball appears, for the console.
std::string statusLine(const std::vector<double>& head, const Vec3& ball, const std::optional<Pixel>& seen);

} // namespace sim
