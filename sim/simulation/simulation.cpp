#include "sim/simulation/simulation.h"

#include <cstdio>

namespace sim {

Simulation::Simulation(const Config& config)
    : scene_(config.extraObjects ? Scene::withExtraObjects() : Scene::standard()),
      renderer_(scene_),
      head_("head", headLimits(), std::vector<double>(kHeadAxes, 0.0)),
      leftArm_("left_arm", armLimits(), armStartPose()),
      rightArm_("right_arm", armLimits(), armStartPose()),
      world_(scene_, config.gravity)
{
    sensors_.leftHandSkin.assign(HandSkinModel::kTaxels, 0.0);
    updateBody();
}

void Simulation::updateBody()
{
    std::vector<double> joints = head_.positions();
    const std::vector<double> left = leftArm_.positions(), right = rightArm_.positions();
    joints.insert(joints.end(), left.begin(), left.end());
    joints.insert(joints.end(), right.begin(), right.end());
    // Rebuild only when something moved: a still robot leaves the camera's cached frame
    // valid.
    if (joints == bodyJoints_ || joints.size() != kHeadAxes + 2 * kArmAxes) {
        return;
    }
    bodyJoints_ = std::move(joints);
    const double* q = bodyJoints_.data();
    renderer_.setBody(robotBody(q, q + kHeadAxes, q + kHeadAxes + kArmAxes));
}

Simulation::SensorFrame Simulation::step(double dt)
{
    head_.step(dt);
    leftArm_.step(dt);
    rightArm_.step(dt);
    world_.step(dt);

    updateBody();

    const std::vector<double> h = head_.positions();
    SensorFrame frame;
    frame.inertial = inertial_.update(headOrientation(h.data()), inertialSensorPosition(h.data()), dt);
    frame.leftHandSkin = HandSkinModel::taxels(hand(Side::Left), world_.ball(), scene_.ballRadius);
    std::lock_guard<std::mutex> lock(sensorsMutex_);
    sensors_ = frame;
    return frame;
}

Simulation::SensorFrame Simulation::sensors() const
{
    std::lock_guard<std::mutex> lock(sensorsMutex_);
    return sensors_;
}

Pose Simulation::leftEye() const
{
    const std::vector<double> h = head_.positions();
    return leftEyePose(h.data());
}

Vec3 Simulation::hand(Side side) const
{
    const std::vector<double> q = (side == Side::Left ? leftArm_ : rightArm_).positions();
    return handPosition(q.data(), side);
}

void Simulation::renderLeftCamera(const Intrinsics& k, std::uint8_t* pixels, std::size_t rowBytes) const
{
    renderer_.render(leftEye(), k, world_.ball(), pixels, rowBytes);
}

std::optional<Pixel> Simulation::ballInView(const Intrinsics& k) const
{
    const Pose eye = leftEye();
    const Vec3 ball = world_.ball();
    const std::optional<Pixel> p = projectSphere(eye, k, ball, scene_.ballRadius);
    if (!p || p->u < -0.5 || p->v < -0.5 || p->u > k.width - 0.5 || p->v > k.height - 0.5) {
        return std::nullopt;
    }
    if (!renderer_.seesBall(eye.position, ball - eye.position, ball)) {
        return std::nullopt;
    }
    return p;
}

namespace {
std::string format(const char* fmt, double a, double b = 0.0, double c = 0.0)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}
} // namespace

std::string statusLine(const std::vector<double>& head, const Vec3& ball, const std::optional<Pixel>& seen)
{
    std::string line = "head";
    for (double q : head) {
        line += format(" %.1f", q);
    }
    line += format(" | ball %.3f %.3f %.3f | ", ball.x, ball.y, ball.z);
    line += seen ? format("ball at pixel %.0f %.0f", seen->u, seen->v) : std::string("ball not in view");
    return line;
}

} // namespace sim
