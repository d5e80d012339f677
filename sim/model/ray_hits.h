#pragma once
// Where a ray first enters a sphere or an axis-aligned box: the tests the body's parts, the
// ball and the scene's boxes share. Rays are o + d t with d of any non-zero length, and
// distances are in units of d. Inline: the renderer runs them for every pixel.
#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/model/geometry.h"

namespace sim {

/// Entry distance into the sphere whose centre c gives oc = o - c and
/// cc = oc . oc - r^2, or -1 when the ray misses it (or starts inside).
inline double raySphereEntry(const Vec3& d, const Vec3& oc, double cc)
{
    const double a = d.dot(d), halfB = d.dot(oc);
    const double disc = halfB * halfB - a * cc;
    if (disc < 0.0) {
        return -1.0;
    }
    const double t = (-halfB - std::sqrt(disc)) / a;
    return t > 0.0 ? t : -1.0;
}

/// Slab test against an axis-aligned box given by its corners relative to the ray's origin
/// (lo = min - o, hi = max - o), with the reciprocal direction `inv`. Returns the entry
/// distance and the axis of the entry face, or infinity on a miss (or when the origin is
/// inside the box). NaN (a ray exactly in a face's plane) makes the comparisons false: a miss.
inline double rayBoxEntry(const Vec3& lo, const Vec3& hi, const Vec3& inv, int* axis)
{
    const double tx0 = lo.x * inv.x, tx1 = hi.x * inv.x;
    const double ty0 = lo.y * inv.y, ty1 = hi.y * inv.y;
    const double tz0 = lo.z * inv.z, tz1 = hi.z * inv.z;
    const double nx = std::min(tx0, tx1), fx = std::max(tx0, tx1);
    const double ny = std::min(ty0, ty1), fy = std::max(ty0, ty1);
    const double nz = std::min(tz0, tz1), fz = std::max(tz0, tz1);
    const double tNear = std::max(nx, std::max(ny, nz));
    const double tFar = std::min(fx, std::min(fy, fz));
    if (!(tNear <= tFar) || !(tNear > 0.0)) {
        return std::numeric_limits<double>::infinity();
    }
    *axis = tNear == nx ? 0 : (tNear == ny ? 1 : 2);
    return tNear;
}

/// The test rays from one origin pass before they can meet a capsule, as a quadratic form
/// in the direction d: h(d) = (d . w)^2 - k * (baba * d . d - (ba . d)^2) < 0 is a miss.
/// For a capsule with an axis ba that is its infinite cylinder, with oa = o - a,
/// w = oa * baba - ba * (ba . oa) and k = baba * oa . oa - (ba . oa)^2 - r^2 * baba; for a
/// sphere (ba = 0, baba = 1) it is the sphere's own test, w = oc and k = oc . oc - r^2.
/// k <= 0: the origin is inside, no ray is a miss.
struct RayBound {
    Vec3 ba;
    double baba = 1.0;
    Vec3 w;
    double k = 0.0;
};

} // namespace sim
