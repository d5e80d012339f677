#include "sim/model/sensors.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

const Vec3 kMagneticField{0.0, -0.40, 0.22};

// Roll, pitch and yaw (degrees) such that head = rotY(yaw) * rotX(-pitch) * rotZ(roll).
Vec3 eulerAngles(const Mat3& r)
{
    const double pitch = std::asin(std::clamp(r.m[1][2], -1.0, 1.0));
    const double roll = std::atan2(r.m[1][0], r.m[1][1]);
    const double yaw = std::atan2(r.m[0][2], r.m[2][2]);
    return {rad2deg(roll), rad2deg(pitch), rad2deg(yaw)};
}

// Rotation vector (axis times angle, radians) of a rotation matrix.
Vec3 rotationVector(const Mat3& r)
{
    const double trace = r.m[0][0] + r.m[1][1] + r.m[2][2];
    const double angle = std::acos(std::clamp((trace - 1.0) / 2.0, -1.0, 1.0));
    const Vec3 skew{r.m[2][1] - r.m[1][2], r.m[0][2] - r.m[2][0], r.m[1][0] - r.m[0][1]};
    const double s = std::sin(angle);
    if (s < 1e-9) {
        return skew * 0.5; // small (or no) rotation
    }
    return skew * (angle / (2.0 * s));
}

} // namespace

InertialModel::Reading InertialModel::update(const Mat3& head, const Vec3& sensor, double dt)
{
    Reading out{};
    const Vec3 euler = eulerAngles(head);
    out[0] = euler.x;
    out[1] = euler.y;
    out[2] = euler.z;

    Vec3 acceleration{};
    Vec3 omegaWorld{};
    if (dt > 0.0 && lastPosition_ && lastOrientation_) {
        const Vec3 velocity = (sensor - *lastPosition_) * (1.0 / dt);
        if (lastVelocity_) {
            acceleration = (velocity - *lastVelocity_) * (1.0 / dt);
        }
        lastVelocity_ = velocity;
        omegaWorld = rotationVector(head * lastOrientation_->transposed()) * (1.0 / dt);
    }
    lastPosition_ = sensor;
    lastOrientation_ = head;

    const Vec3 force = head.inverseApply(acceleration + Vec3{0.0, 9.81, 0.0});
    const Vec3 omega = head.inverseApply(omegaWorld);
    const Vec3 field = head.inverseApply(kMagneticField);
    const double values[] = {force.x, force.y, force.z, rad2deg(omega.x), rad2deg(omega.y), rad2deg(omega.z),
                             field.x, field.y, field.z};
    std::copy(std::begin(values), std::end(values), out.begin() + 3);
    return out;
}

std::vector<double> HandSkinModel::taxels(const Vec3& palm, const Vec3& ball, double ballRadius)
{
    std::vector<double> out(kTaxels, 0.0);
    const double reach = ballRadius + kPalmRadius;
    const double depth = reach - (ball - palm).norm();
    if (depth > 0.0) {
        // Full scale at 1 cm of indentation.
        const double value = std::min(255.0, 255.0 * depth / 0.01);
        std::fill(out.begin() + kPalmFirst, out.begin() + kPalmFirst + kPalmCount, value);
    }
    return out;
}

} // namespace sim
