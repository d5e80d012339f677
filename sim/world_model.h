#pragma once
// The movable part of the simulated world: the ball. It rests on the table or the floor;
// placed in mid-air it falls straight down onto whatever is below it (when gravity is on).
#include <mutex>
#include <string>

#include "sim/geometry.h"
#include "sim/scene.h"

namespace sim {

class WorldModel {
public:
    /// Largest distance of the ball from the world origin along any axis, in metres.
    static constexpr double kWorldExtent = 50.0;
    static constexpr double kGravity = 9.81;

    WorldModel(const Scene& scene, bool gravity);

    /// Places the ball with its centre at `p`. Returns an empty string on success, else a
    /// one-line reason (a non-finite coordinate, a place outside the world) and leaves the
    /// ball where it was. With gravity on, a ball set into the floor or the table top rests
    /// on it, and a ball above its support starts to fall.
    std::string setBall(const Vec3& p);

    Vec3 ball() const;
    bool ballResting() const;
    bool gravity() const { return gravity_; }

    /// Advances the ball's fall by `dt` seconds.
    void step(double dt);

private:
    /// Height at which the ball's centre rests when it comes down at (x, z) from `y`.
    double restingHeight(const Vec3& p) const;

    const Scene& scene_;
    const bool gravity_;
    mutable std::mutex mutex_;
    Vec3 ball_;
    double fallSpeed_ = 0.0;
    double restAt_ = 0.0;
    bool resting_ = true;
};

} // namespace sim
