#pragma once
// Colours while they are shaded, the light, and how a shaded colour becomes an RGB triple
// (for everything but the ball and the body, never one that passes the ball finder's blue
// test). Used by the renderer's parts only.
#include <algorithm>
#include <cstdint>

#include "sim/model/geometry.h"
#include "sim/model/scene.h"

namespace sim::render_detail {

struct Colour {
    double r, g, b;
};

inline Colour operator*(const Colour& c, double s) { return {c.r * s, c.g * s, c.b * s}; }
inline Colour mix(const Colour& a, const Colour& b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Colour fromRgb(const Rgb& c) { return {double(c.r), double(c.g), double(c.b)}; }

// Branch-free: min and max compile to single instructions (and a NaN becomes 0).
inline std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::min(std::max(0.0, v), 255.0) + 0.5); }

// Everything but the ball goes through here: blue may never beat both red and green by
// the ball finder's margin, whatever the shading and the sky did.
inline void notBlue(const Colour& c, std::uint8_t* out)
{
    const std::uint8_t r = toByte(c.r), g = toByte(c.g), b = toByte(c.b);
    const int ceiling = (12 * std::max(r, g)) / 10 + 8;
    out[0] = r;
    out[1] = g;
    out[2] = b > ceiling ? static_cast<std::uint8_t>(ceiling) : b;
}

// For colours that cannot pass the blue test anyway (the floor's greys, scaled and mixed
// with each other; the body, whose navy covers pass it as the real ones do): no clamp.
inline void writeRgb(const Colour& c, std::uint8_t* out)
{
    out[0] = toByte(c.r);
    out[1] = toByte(c.g);
    out[2] = toByte(c.b);
}

// Light from above, a little from the robot's left and from behind it.
inline const Vec3 kLight = Vec3{0.25, 1.0, -0.3}.normalized();

inline double lambert(const Vec3& n) { return 0.55 + 0.45 * std::max(0.0, n.dot(kLight)); }

// Outward normal of the face of an axis-aligned box that a ray along `d` enters through.
inline Vec3 faceNormal(int axis, const Vec3& d)
{
    switch (axis) {
    case 0:
        return {d.x > 0 ? -1.0 : 1.0, 0.0, 0.0};
    case 1:
        return {0.0, d.y > 0 ? -1.0 : 1.0, 0.0};
    default:
        return {0.0, 0.0, d.z > 0 ? -1.0 : 1.0};
    }
}

} // namespace sim::render_detail
