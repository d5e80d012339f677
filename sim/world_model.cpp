#include "sim/world_model.h"

#include <cmath>

namespace sim {

WorldModel::WorldModel(const Scene& scene, bool gravity) : scene_(scene), gravity_(gravity)
{
    // Default: resting on the table, in front of the robot and to its right.
    ball_ = {-0.15, scene_.tableHeight() + scene_.ballRadius, 0.35};
    restAt_ = ball_.y;
}

double WorldModel::restingHeight(const Vec3& p) const
{
    // A ball whose centre is above the table's upper face lands on it; one below the face
    // (under the table, or beside it) goes down to the floor.
    if (scene_.tableTop.containsXZ(p.x, p.z) && p.y >= scene_.tableHeight()) {
        return scene_.tableHeight() + scene_.ballRadius;
    }
    return scene_.ballRadius;
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
    if (!gravity_) {
        resting_ = true;
        return {};
    }
    restAt_ = restingHeight(p);
    if (ball_.y <= restAt_) {
        ball_.y = restAt_;
        resting_ = true;
    } else {
        resting_ = false;
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
    return resting_;
}

void WorldModel::step(double dt)
{
    if (!(dt > 0.0) || !std::isfinite(dt)) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (resting_) {
        return;
    }
    fallSpeed_ += kGravity * dt;
    ball_.y -= fallSpeed_ * dt;
    if (ball_.y <= restAt_) {
        ball_.y = restAt_;
        fallSpeed_ = 0.0;
        resting_ = true;
    }
}

} // namespace sim
