#pragma once
// Pinhole model of the left camera. Image coordinates: u is the column (0 at the left
// edge), v the row (0 at the top); a pixel's index is the coordinate of its centre, so
// the centroid of a blob of pixels is directly comparable with a projected point. Things
// on the robot's left appear on the image's left.
#include <cstddef>
#include <optional>

#include "sim/model/geometry.h"
#include "sim/model/robot_model.h"

namespace sim {

struct Intrinsics {
    std::size_t width = 320;
    std::size_t height = 240;
    double fx = 257.34;
    double fy = 257.34;
    double cx = 160.0;
    double cy = 120.0;

    /// The calibrated 320x240 camera scaled to another size: the field of view stays the
    /// same (focal lengths scale with the image sides), the principal point is the centre.
    static Intrinsics forSize(std::size_t width, std::size_t height);
};

struct Pixel {
    double u = 0.0;
    double v = 0.0;
};

/// Where a world point appears, or nothing when it is not in front of the camera.
std::optional<Pixel> projectPoint(const Pose& camera, const Intrinsics& k, const Vec3& point);

/// Centre of the ellipse that a sphere projects to (which is where the centroid of its
/// pixels lies; off the optical axis it is slightly outward of the projected centre), or
/// nothing when the camera is inside the sphere or the sphere reaches behind the camera.
std::optional<Pixel> projectSphere(const Pose& camera, const Intrinsics& k, const Vec3& centre, double radius);

/// Unit direction, in the world frame, of the ray through image point (u, v).
Vec3 pixelRay(const Pose& camera, const Intrinsics& k, double u, double v);

} // namespace sim
