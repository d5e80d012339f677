#include "sim/render/camera.h"

#include <algorithm>
#include <cmath>

namespace sim {

Intrinsics Intrinsics::forSize(std::size_t width, std::size_t height)
{
    const Intrinsics base;
    Intrinsics k;
    k.width = width;
    k.height = height;
    k.fx = base.fx * static_cast<double>(width) / static_cast<double>(base.width);
    k.fy = base.fy * static_cast<double>(height) / static_cast<double>(base.height);
    k.cx = static_cast<double>(width) / 2.0;
    k.cy = static_cast<double>(height) / 2.0;
    return k;
}

std::optional<Pixel> projectPoint(const Pose& camera, const Intrinsics& k, const Vec3& point)
{
    const Vec3 c = camera.orientation.inverseApply(point - camera.position);
    if (c.z <= 1e-9) {
        return std::nullopt;
    }
    return Pixel{k.cx - k.fx * c.x / c.z, k.cy - k.fy * c.y / c.z};
}

std::optional<Pixel> projectSphere(const Pose& camera, const Intrinsics& k, const Vec3& centre, double radius)
{
    const Vec3 c = camera.orientation.inverseApply(centre - camera.position);
    const double distance = c.norm();
    if (distance <= radius) {
        return std::nullopt;
    }
    const double offAxis = std::acos(std::clamp(c.z / distance, -1.0, 1.0));
    const double halfAngle = std::asin(radius / distance);
    if (offAxis + halfAngle >= kPi / 2.0) {
        return std::nullopt;
    }
    const double radial = std::hypot(c.x, c.y);
    if (radial < 1e-12) {
        return Pixel{k.cx, k.cy};
    }
    // The ellipse's major axis lies along the radial line; its centre is halfway between
    // the images of the two tangent rays in that plane (in normalised image units).
    const double mid = 0.5 * (std::tan(offAxis + halfAngle) + std::tan(offAxis - halfAngle));
    const double nx = c.x / radial;
    const double ny = c.y / radial;
    return Pixel{k.cx - k.fx * mid * nx, k.cy - k.fy * mid * ny};
}

Vec3 pixelRay(const Pose& camera, const Intrinsics& k, double u, double v)
{
    const Vec3 local{-(u - k.cx) / k.fx, -(v - k.cy) / k.fy, 1.0};
    return (camera.orientation * local).normalized();
}

} // namespace sim
