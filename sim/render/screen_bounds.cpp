#include "sim/render/screen_bounds.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sim::render_detail {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Range of directions, as angles atan2(lateral, forward) in radians, under which a circle
// of radius r centred at (lateral, forward) is seen from the origin; false when the
// origin is inside the circle (every direction).
bool angularRange(double lateral, double forward, double r, double* lo, double* hi)
{
    const double d = std::hypot(lateral, forward);
    if (d <= r) {
        return false;
    }
    const double centre = std::atan2(lateral, forward), half = std::asin(r / d);
    *lo = centre - half;
    *hi = centre + half;
    return true;
}

// Distance from the origin to the segment from p to q in a plane.
double distanceToSegment(double px, double pz, double qx, double qz)
{
    const double dx = qx - px, dz = qz - pz, len2 = dx * dx + dz * dz;
    const double s = len2 > 0.0 ? std::clamp(-(px * dx + pz * dz) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px + s * dx, pz + s * dz);
}

// Pixel range [lo, hi] (inclusive, clipped to 0..size-1; lo > hi when empty) along one
// image axis of a capsule given by its ends in camera coordinates: `lateral` is the camera
// x (or y) of each end, `forward` its z. Points of the capsule in front of the camera are
// seen under directions between the two ends' angular ranges, and a direction at angle a
// lands on pixel centre - f * tan(a).
void pixelRange(const double lateral[2], const double forward[2], double r, double f, double centre, long size,
                long* lo, long* hi)
{
    constexpr double kEdge = 1.5607; // a little less than a right angle
    double aLo = 0.0, aHi = 0.0, bLo = 0.0, bHi = 0.0;
    if (distanceToSegment(lateral[0], forward[0], lateral[1], forward[1]) <= r
        || !angularRange(lateral[0], forward[0], r, &aLo, &aHi) || !angularRange(lateral[1], forward[1], r, &bLo, &bHi)) {
        *lo = 0;
        *hi = size - 1;
        return;
    }
    // Parts of the range beyond a right angle are behind the camera.
    const double first = std::max(std::min(aLo, bLo), -kEdge), last = std::min(std::max(aHi, bHi), kEdge);
    if (first > last) {
        *lo = 1;
        *hi = 0;
        return;
    }
    const double from = centre - f * std::tan(last), to = centre - f * std::tan(first);
    *lo = static_cast<long>(std::clamp(std::floor(from) - 1.0, 0.0, static_cast<double>(size)));
    *hi = static_cast<long>(std::clamp(std::ceil(to) + 1.0, -1.0, static_cast<double>(size - 1)));
}

} // namespace

std::array<Vec3, 8> corners(const Box& b)
{
    return {Vec3{b.min.x, b.min.y, b.min.z}, Vec3{b.max.x, b.min.y, b.min.z}, Vec3{b.min.x, b.max.y, b.min.z},
            Vec3{b.max.x, b.max.y, b.min.z}, Vec3{b.min.x, b.min.y, b.max.z}, Vec3{b.max.x, b.min.y, b.max.z},
            Vec3{b.min.x, b.max.y, b.max.z}, Vec3{b.max.x, b.max.y, b.max.z}};
}

Rect screenBounds(const Pose& cam, const Intrinsics& k, const std::array<Vec3, 8>& corners)
{
    constexpr double kNear = 1e-3;
    std::array<Vec3, 8> c;
    for (std::size_t i = 0; i < 8; ++i) {
        c[i] = cam.orientation.inverseApply(corners[i] - cam.position);
    }
    double u0 = kInf, v0 = kInf, u1 = -kInf, v1 = -kInf;
    auto add = [&](const Vec3& p) {
        const double u = k.cx - k.fx * p.x / p.z, v = k.cy - k.fy * p.y / p.z;
        u0 = std::min(u0, u);
        u1 = std::max(u1, u);
        v0 = std::min(v0, v);
        v1 = std::max(v1, v);
    };
    for (std::size_t i = 0; i < 8; ++i) {
        if (c[i].z >= kNear) {
            add(c[i]);
        }
        for (std::size_t bit : {1u, 2u, 4u}) {
            const std::size_t j = i ^ bit;
            if (j > i && (c[i].z < kNear) != (c[j].z < kNear)) {
                const double s = (kNear - c[i].z) / (c[j].z - c[i].z);
                add(c[i] + (c[j] - c[i]) * s);
            }
        }
    }
    if (u0 > u1) {
        return kNoPixels; // wholly behind the camera
    }
    // A margin of two pixels covers rounding; beyond the image the rectangle is clipped.
    const long w = static_cast<long>(k.width) - 1, h = static_cast<long>(k.height) - 1;
    auto clampTo = [](double x, long hi) { return static_cast<long>(std::clamp(x, -2.0, static_cast<double>(hi) + 2.0)); };
    return Rect{clampTo(std::floor(u0) - 2, w), clampTo(std::floor(v0) - 2, h), clampTo(std::ceil(u1) + 2, w),
                clampTo(std::ceil(v1) + 2, h)};
}

PartView::PartView(const Pose& cam, const Intrinsics& k, const BodyPart& part, const RayBound& fromEye)
    : bound(fromEye)
{
    r = part.shape == BodyPart::Shape::Box ? part.boundRadius() : part.radius;
    a = cam.orientation.inverseApply(part.a - cam.position);
    b = cam.orientation.inverseApply(part.b - cam.position);
    const double xs[2] = {a.x, b.x}, ys[2] = {a.y, b.y}, zs[2] = {a.z, b.z};
    pixelRange(xs, zs, r, k.fx, k.cx, static_cast<long>(k.width), &rect.u0, &rect.u1);
    pixelRange(ys, zs, r, k.fy, k.cy, static_cast<long>(k.height), &rect.v0, &rect.v1);
    if (rect.u0 > rect.u1 || rect.v0 > rect.v1) {
        rect = kNoPixels;
    }
    perRow = (rect.u1 - rect.u0 + 1) * (rect.v1 - rect.v0 + 1) > 2000;
}

// Along a row d is linear in the column, so the bound's h(d) is a quadratic in it.
void PartView::cullRow(const Vec3& rowStart, const Vec3& step, long* u0, long* u1, long* v0, long* v1) const
{
    const Vec3 &ba = bound.ba, &w = bound.w;
    const double baba = bound.baba, k = bound.k;
    *v0 = 1;
    *v1 = 0;
    if (!(k > 0.0) || *u0 > *u1) {
        return; // the eye is inside the cylinder: no row is culled
    }
    const double dR = ba.dot(rowStart), dU = ba.dot(step);
    const double a0 = baba * rowStart.dot(rowStart) - dR * dR;
    const double a1 = 2.0 * (baba * rowStart.dot(step) - dR * dU);
    const double a2 = baba * step.dot(step) - dU * dU;
    const double b0 = w.dot(rowStart), b1 = w.dot(step);
    const double c2 = b1 * b1 - k * a2, c1 = 2.0 * b0 * b1 - k * a1, c0 = b0 * b0 - k * a0;
    const double scale = std::abs(c1) + std::abs(c0) + std::abs(c2);
    if (!(std::abs(c2) > 1e-9 * scale)) {
        return; // nearly linear: keep the span
    }
    const double disc = c1 * c1 - 4.0 * c2 * c0;
    if (disc < -1e-9 * (c1 * c1 + std::abs(4.0 * c2 * c0))) {
        if (c2 < 0.0) {
            *u0 = 1; // h < 0 on the whole row
            *u1 = 0;
        }
        return;
    }
    const double root = std::sqrt(std::max(disc, 0.0));
    // Roots without cancellation.
    const double q = -0.5 * (c1 + (c1 >= 0.0 ? root : -root));
    double r0 = q / c2, r1 = q != 0.0 ? c0 / q : r0;
    if (r0 > r1) {
        std::swap(r0, r1);
    }
    constexpr double kMargin = 1.5;
    const double from = static_cast<double>(*u0), to = static_cast<double>(*u1);
    if (c2 < 0.0) {
        // h >= 0 between the roots only.
        *u0 = static_cast<long>(std::max(from, std::min(std::floor(r0 - kMargin), to + 1.0)));
        *u1 = static_cast<long>(std::min(to, std::max(std::ceil(r1 + kMargin), from - 1.0)));
        return;
    }
    // h >= 0 outside the roots: up to r0 and from r1 on.
    const double end0 = std::ceil(r0 + kMargin), start1 = std::floor(r1 - kMargin);
    if (end0 + 1.0 >= start1) {
        return; // the gap is too narrow to matter
    }
    *v0 = static_cast<long>(std::max(from, std::min(start1, to + 1.0)));
    *v1 = *u1;
    *u1 = static_cast<long>(std::min(to, std::max(end0, from - 1.0)));
}

void PartView::rowSpan(const Intrinsics& k, double v, long* u0, long* u1) const
{
    const double slope = -(v - k.cy) / k.fy; // the row's rays are (x, slope, 1) * t
    const double len = std::sqrt(1.0 + slope * slope);
    const double da = (slope * a.z - a.y) / len, db = (slope * b.z - b.y) / len; // signed distances
    // The stretch of the axis within r of the plane: s in [s0, s1] of a + (b - a) s.
    double s0 = 0.0, s1 = 1.0;
    if (da == db) {
        if (std::abs(da) > r) {
            *u0 = 1;
            *u1 = 0;
            return;
        }
    } else {
        const double lo = (-r - da) / (db - da), hi = (r - da) / (db - da);
        s0 = std::max(0.0, std::min(lo, hi));
        s1 = std::min(1.0, std::max(lo, hi));
        if (s0 > s1) {
            *u0 = 1;
            *u1 = 0;
            return;
        }
    }
    const double d0 = da + (db - da) * s0, d1 = da + (db - da) * s1;
    const double nearest = d0 * d1 <= 0.0 ? 0.0 : std::min(std::abs(d0), std::abs(d1));
    const double radius = std::sqrt(std::max(0.0, r * r - nearest * nearest));
    const Vec3 p = a + (b - a) * s0, q = a + (b - a) * s1;
    const double lateral[2] = {p.x, q.x};
    const double forward[2] = {(slope * p.y + p.z) / len, (slope * q.y + q.z) / len};
    pixelRange(lateral, forward, radius, k.fx * len, k.cx, static_cast<long>(k.width), u0, u1);
    *u0 = std::max(*u0, rect.u0);
    *u1 = std::min(*u1, rect.u1);
}

} // namespace sim::render_detail
