#pragma once
// The movable part of the simulated world: the ball. It rests where the real simulator's
// ball comes to rest: on the table when its centre is over the top, else on the floor.
// Placed in mid-air it falls straight down onto whatever is below its centre; one that
// lies across an edge of the top (its centre beyond the edge, the sphere still over the
// top) tips over it, falls to the floor and rolls away from the table, as the real one
// does (about 0.6 m). Gravity off: it stays where it is put.
#include <mutex>
#include <string>

#include "sim/model/geometry.h"
#include "sim/model/scene.h"

namespace sim {

class WorldModel {
public:
    /// Largest distance of the ball from the world origin along any axis, in metres.
    static constexpr double kWorldExtent = 50.0;
    static constexpr double kGravity = 9.81;
    /// Speed of a ball that has tipped over an edge when it reaches the floor, and the rate
    /// at which rolling slows (1/s): it comes to rest about 0.6 m further out.
    static constexpr double kRollSpeed = 0.96;
    static constexpr double kRollDamping = 1.6;

    WorldModel(const Scene& scene, bool gravity);

    /// Places the ball with its centre at `p`. Returns an empty string on success, else a
    /// one-line reason (a non-finite coordinate, a place outside the world) and leaves the
    /// ball where it was. With gravity on, a ball set into the floor or the table top rests
    /// on it, and a ball above its support starts to fall.
    std::string setBall(const Vec3& p);

    Vec3 ball() const;
    /// True once the ball has stopped (never falling or rolling).
    bool ballResting() const;
    bool gravity() const { return gravity_; }

    /// Advances the ball's fall or roll by `dt` seconds.
    void step(double dt);

private:
    enum class Motion { Resting, Falling, Rolling };

    const Scene& scene_;
    const bool gravity_;
    mutable std::mutex mutex_;
    Vec3 ball_;
    Motion motion_ = Motion::Resting;
    double fallSpeed_ = 0.0;
    double restAt_ = 0.0;
    /// After the fall: roll along this horizontal unit vector (zero: stay).
    Vec3 rollDirection_;
    double rollSpeed_ = 0.0;
};

} // namespace sim
