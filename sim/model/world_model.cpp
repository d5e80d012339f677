#include "sim/model/world_model.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
/// Below this speed (m/s) a rolling ball has come to rest.
constexpr double kRollStops = 0.01;
} // namespace

WorldModel::WorldModel(const Scene& scene, bool gravity) : scene_(scene), gravity_(gravity)
{
    // Default: resting on the table, in front of the robot and to its right.
    ball_ = {-0.15, scene_.tableHeight() + scene_.ballRestHeight, 0.35};
    restAt_ = ball_.y;
}

std::string WorldModel::setBall(const Vec3& p)
{
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
        return "ball coordinates must be finite numbers";
    }
    if (std::abs(p.x) > kWorldExtent || std::abs(p.y) > kWorldExtent || std::abs(p.z) > kWorldExtent) {
        return "ball position outside the world (each coordinate within +-50 m)";
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ball_ = p;
    fallSpeed_ = 0.0;
    rollDirection_ = {};
    rollSpeed_ = 0.0;
    if (!gravity_) {
        motion_ = Motion::Resting;
        return {};
    }
    const Box& top = scene_.tableTop;
    const bool aboveTheFace = p.y >= scene_.tableHeight();
    if (top.containsXZ(p.x, p.z) && aboveTheFace) {
        // Centre over the top: it lands on it (even a few millimetres inside an edge).
        restAt_ = scene_.tableHeight() + scene_.ballRestHeight;
    } else {
        // Anything else ends on the floor: beside the table, or set below the top's face
        // (the real ball falls through the top then).
        restAt_ = scene_.ballRestHeight;
        // Lying across an edge, it tips over it and rolls away from the table.
        const double nx = std::clamp(p.x, top.min.x, top.max.x), nz = std::clamp(p.z, top.min.z, top.max.z);
        const Vec3 out{p.x - nx, 0.0, p.z - nz};
        if (aboveTheFace && out.norm() < scene_.ballRadius && out.norm() > 0.0) {
            rollDirection_ = out.normalized();
        }
    }
    if (ball_.y <= restAt_) {
        ball_.y = restAt_;
        motion_ = Motion::Resting;
    } else {
        motion_ = Motion::Falling;
    }
    return {};
}

Vec3 WorldModel::ball() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ball_;
}

bool WorldModel::ballResting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return motion_ == Motion::Resting;
}

void WorldModel::step(double dt)
{
    if (!(dt > 0.0) || !std::isfinite(dt)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (motion_ == Motion::Falling) {
        fallSpeed_ += kGravity * dt;
        ball_.y -= fallSpeed_ * dt;
        if (ball_.y <= restAt_) {
            ball_.y = restAt_;
            fallSpeed_ = 0.0;
            const bool rolls = rollDirection_.dot(rollDirection_) > 0.0;
            motion_ = rolls ? Motion::Rolling : Motion::Resting;
            rollSpeed_ = rolls ? kRollSpeed : 0.0;
        }
    } else if (motion_ == Motion::Rolling) {
        // Exponential slowing, integrated exactly over the step.
        const double decay = std::exp(-kRollDamping * dt);
        ball_ += rollDirection_ * (rollSpeed_ * (1.0 - decay) / kRollDamping);
        rollSpeed_ *= decay;
        if (rollSpeed_ < kRollStops) {
            rollSpeed_ = 0.0;
            motion_ = Motion::Resting;
        }
    }
}

} // namespace sim
