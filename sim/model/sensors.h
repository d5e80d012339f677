#pragma once
// Models of the inertial sensor in the head and of the skin of the left hand.
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "sim/model/geometry.h"

namespace sim {

/// Inertial sensor on top of the head. Each update returns twelve values, all in the head
/// frame (x left, y up, z forward when the head is at rest):
///  0-2  orientation of the head as roll, pitch, yaw in degrees (the head frame is the
///       world frame turned by yaw about the vertical, then pitch, then roll; positive
///       pitch looks up, positive yaw turns left);
///  3-5  specific force in m/s^2 (gravity's reaction, 9.81 along +y at rest, plus the
///       sensor's own acceleration);
///  6-8  angular rate in degrees per second;
///  9-11 magnetic field in gauss (a fixed field pointing forward and down in the world).
class InertialModel {
public:
    static constexpr std::size_t kValues = 12;
    using Reading = std::array<double, kValues>;

    /// Feeds the head's orientation and the sensor's position after a step of `dt` seconds.
    Reading update(const Mat3& head, const Vec3& sensor, double dt);

private:
    std::optional<Mat3> lastOrientation_;
    std::optional<Vec3> lastPosition_;
    std::optional<Vec3> lastVelocity_;
};

/// Skin of the left hand: 192 taxels, all zero unless the ball touches the palm, which
/// presses taxels 96 to 143 (the palm patch) with a value growing with the indentation,
/// up to 255.
class HandSkinModel {
public:
    static constexpr std::size_t kTaxels = 192;
    static constexpr std::size_t kPalmFirst = 96;
    static constexpr std::size_t kPalmCount = 48;
    /// Radius of the palm seen as a sphere around the palm centre, in metres.
    static constexpr double kPalmRadius = 0.03;

    static std::vector<double> taxels(const Vec3& palm, const Vec3& ball, double ballRadius);
};

} // namespace sim
