#include "sim/model/joint_board.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

bool finite(double v) { return std::isfinite(v); }

double sign(double v) { return v > 0.0 ? 1.0 : (v < 0.0 ? -1.0 : 0.0); }

} // namespace

JointBoard::JointBoard(std::string name, std::vector<JointLimits> limits, std::vector<double> start)
    : name_(std::move(name))
{
    const std::size_t n = std::min(limits.size(), start.size());
    joints_.resize(n);
    for (std::size_t j = 0; j < n; ++j) {
        Joint& joint = joints_[j];
        joint.limits = limits[j];
        if (joint.limits.min > joint.limits.max) {
            std::swap(joint.limits.min, joint.limits.max);
        }
        joint.position = clampTo(joint.limits, finite(start[j]) ? start[j] : 0.0);
        joint.target = joint.position;
    }
}

JointLimits JointBoard::limits(std::size_t j) const
{
    return j < joints_.size() ? joints_[j].limits : JointLimits{};
}

double JointBoard::clampTo(const JointLimits& l, double v) { return std::clamp(v, l.min, l.max); }

void JointBoard::holdHere(Joint& joint)
{
    joint.target = joint.position;
    joint.profileSpeed = 0.0;
    joint.commanded = 0.0;
    joint.velocity = 0.0;
}

bool JointBoard::positionMove(std::size_t j, double ref)
{
    if (j >= joints_.size() || !finite(ref)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Joint& joint = joints_[j];
    if (joint.mode == ControlMode::Position) {
        joint.target = clampTo(joint.limits, ref);
    }
    return true;
}

bool JointBoard::positionMove(const double* refs)
{
    if (refs == nullptr || !std::all_of(refs, refs + joints_.size(), finite)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t j = 0; j < joints_.size(); ++j) {
        Joint& joint = joints_[j];
        if (joint.mode == ControlMode::Position) {
            joint.target = clampTo(joint.limits, refs[j]);
        }
    }
    return true;
}

bool JointBoard::velocityMove(std::size_t j, double speed)
{
    if (j >= joints_.size() || !finite(speed)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Joint& joint = joints_[j];
    if (joint.mode == ControlMode::Velocity) {
        joint.commanded = speed;
    }
    return true;
}

bool JointBoard::velocityMove(const double* speeds)
{
    if (speeds == nullptr || !std::all_of(speeds, speeds + joints_.size(), finite)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t j = 0; j < joints_.size(); ++j) {
        if (joints_[j].mode == ControlMode::Velocity) {
            joints_[j].commanded = speeds[j];
        }
    }
    return true;
}

namespace {
bool validRef(double v) { return std::isfinite(v) && v > 0.0; }
} // namespace

template <typename T>
bool JointBoard::readField(std::size_t j, T Joint::*field, T* out) const
{
    if (j >= joints_.size() || out == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    *out = joints_[j].*field;
    return true;
}

bool JointBoard::setRef(std::size_t j, double Joint::*field, double value)
{
    if (j >= joints_.size() || !validRef(value)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    joints_[j].*field = value;
    return true;
}

bool JointBoard::setRefs(double Joint::*field, const double* values)
{
    if (values == nullptr || !std::all_of(values, values + joints_.size(), validRef)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t j = 0; j < joints_.size(); ++j) {
        joints_[j].*field = values[j];
    }
    return true;
}

bool JointBoard::setRefSpeed(std::size_t j, double speed) { return setRef(j, &Joint::refSpeed, speed); }

bool JointBoard::setRefSpeeds(const double* speeds) { return setRefs(&Joint::refSpeed, speeds); }

bool JointBoard::setRefAcceleration(std::size_t j, double acc) { return setRef(j, &Joint::refAcceleration, acc); }

bool JointBoard::setRefAccelerations(const double* accs) { return setRefs(&Joint::refAcceleration, accs); }

bool JointBoard::getRefSpeed(std::size_t j, double* speed) const { return readField(j, &Joint::refSpeed, speed); }

bool JointBoard::getRefAcceleration(std::size_t j, double* acc) const
{
    return readField(j, &Joint::refAcceleration, acc);
}

bool JointBoard::getTarget(std::size_t j, double* target) const { return readField(j, &Joint::target, target); }

bool JointBoard::stop(std::size_t j)
{
    if (j >= joints_.size()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    holdHere(joints_[j]);
    return true;
}

bool JointBoard::stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (Joint& joint : joints_) {
        holdHere(joint);
    }
    return true;
}

namespace {
bool jointDone(const JointLimits& l, ControlMode mode, double position, double target, double profileSpeed,
               double commanded)
{
    switch (mode) {
    case ControlMode::Position:
        return position == target && profileSpeed == 0.0;
    case ControlMode::Velocity:
        return commanded == 0.0 || (commanded > 0.0 && position >= l.max) || (commanded < 0.0 && position <= l.min);
    case ControlMode::Idle:
        break;
    }
    return true;
}
} // namespace

bool JointBoard::checkMotionDone(std::size_t j, bool* done) const
{
    if (j >= joints_.size() || done == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const Joint& joint = joints_[j];
    *done = jointDone(joint.limits, joint.mode, joint.position, joint.target, joint.profileSpeed, joint.commanded);
    return true;
}

bool JointBoard::checkMotionDone(bool* done) const
{
    if (done == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    *done = std::all_of(joints_.begin(), joints_.end(), [](const Joint& joint) {
        return jointDone(joint.limits, joint.mode, joint.position, joint.target, joint.profileSpeed, joint.commanded);
    });
    return true;
}

bool JointBoard::setControlMode(std::size_t j, ControlMode mode)
{
    if (j >= joints_.size()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Joint& joint = joints_[j];
    if (joint.mode != mode) {
        joint.mode = mode;
        holdHere(joint);
    }
    return true;
}

bool JointBoard::getControlMode(std::size_t j, ControlMode* mode) const { return readField(j, &Joint::mode, mode); }

bool JointBoard::getEncoder(std::size_t j, double* pos) const { return readField(j, &Joint::position, pos); }

bool JointBoard::getEncoderSpeed(std::size_t j, double* speed) const { return readField(j, &Joint::velocity, speed); }

std::vector<double> JointBoard::positions() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<double> out;
    out.reserve(joints_.size());
    for (const Joint& joint : joints_) {
        out.push_back(joint.position);
    }
    return out;
}

std::vector<JointState> JointBoard::states() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<JointState> out;
    out.reserve(joints_.size());
    for (const Joint& joint : joints_) {
        out.push_back({joint.position, joint.velocity, joint.mode});
    }
    return out;
}

void JointBoard::step(double dt)
{
    if (!(dt > 0.0) || !finite(dt)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (Joint& joint : joints_) {
        const double before = joint.position;
        switch (joint.mode) {
        case ControlMode::Position:
            stepPosition(joint, dt);
            break;
        case ControlMode::Velocity:
            stepVelocity(joint, dt);
            break;
        case ControlMode::Idle:
            break;
        }
        joint.velocity = (joint.position - before) / dt;
    }
}

// Minimum-time profile under the speed and acceleration limits: the joint accelerates
// toward the reference speed and brakes so that it stops exactly at the target. The braking
// bound is the discrete one (each step moves by the step's new speed): from speed
// a*dt*n the joint covers a*dt^2*n(n+1)/2 before it stands still, so at distance d its
// speed may not exceed a*dt*(sqrt(1/4 + 2d/(a dt^2)) - 1/2).
void JointBoard::stepPosition(Joint& joint, double dt)
{
    const double distance = joint.target - joint.position;
    const double a = joint.refAcceleration;
    const double maxChange = a * dt;
    const double braking = maxChange * (std::sqrt(0.25 + 2.0 * std::abs(distance) / (maxChange * dt)) - 0.5);
    const double wanted = sign(distance) * std::min(joint.refSpeed, braking);
    joint.profileSpeed += std::clamp(wanted - joint.profileSpeed, -maxChange, maxChange);
    const double move = joint.profileSpeed * dt;
    const bool arriving = distance == 0.0 || (sign(move) == sign(distance) && std::abs(move) >= std::abs(distance));
    // Arrive only when slow enough to stop within one step; a faster joint overshoots
    // (its target was moved under it) and comes back under the acceleration limit.
    if (arriving && std::abs(joint.profileSpeed) <= maxChange * (1.0 + 1e-9)) {
        joint.position = joint.target;
        joint.profileSpeed = 0.0;
        return;
    }
    joint.position += move;
    if (joint.position <= joint.limits.min || joint.position >= joint.limits.max) {
        joint.position = clampTo(joint.limits, joint.position);
        joint.profileSpeed = 0.0;
    }
}

void JointBoard::stepVelocity(Joint& joint, double dt)
{
    joint.position = clampTo(joint.limits, joint.position + joint.commanded * dt);
}

std::vector<JointLimits> headLimits()
{
    return {{-40, 30}, {-70, 60}, {-55, 55}, {-35, 15}, {-50, 52}, {0, 90}};
}

std::vector<JointLimits> armLimits()
{
    return {{-95, 10}, {0, 160}, {-37, 80}, {16, 106}, {-90, 90}, {-90, 0}, {-20, 40}, {0, 60},
            {10, 90},  {0, 90},  {0, 180},  {0, 90},   {0, 180}, {0, 90},  {0, 180}, {0, 270}};
}

std::vector<double> armStartPose()
{
    return {0, 80, 0, 50, 0, 0, 0, 59, 20, 20, 20, 10, 10, 10, 10, 10};
}

} // namespace sim
