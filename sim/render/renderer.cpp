#include "sim/render/renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sim {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kNoiseSize = 256;   // texels per side of the noise texture
constexpr int kNoiseCells = 16;   // lattice cells per side (the texture tiles seamlessly)
constexpr int kSpeckleSize = 128; // texels per side of the floor's speckle texture

// Light from above, a little from the robot's left and from behind it.
const Vec3 kLight = Vec3{0.25, 1.0, -0.3}.normalized();

struct Colour {
    double r, g, b;
};

Colour operator*(const Colour& c, double s) { return {c.r * s, c.g * s, c.b * s}; }
Colour mix(const Colour& a, const Colour& b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Colour fromRgb(const Rgb& c) { return {double(c.r), double(c.g), double(c.b)}; }

// Branch-free: min and max compile to single instructions (and a NaN becomes 0).
std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::min(std::max(0.0, v), 255.0) + 0.5); }

// Everything but the ball goes through here: blue may never beat both red and green by
// the ball finder's margin, whatever the shading and the sky did.
void notBlue(const Colour& c, std::uint8_t* out)
{
    const std::uint8_t r = toByte(c.r), g = toByte(c.g), b = toByte(c.b);
    const int ceiling = (12 * std::max(r, g)) / 10 + 8;
    out[0] = r;
    out[1] = g;
    out[2] = b > ceiling ? static_cast<std::uint8_t>(ceiling) : b;
}

// For colours whose blue never exceeds their green (the floor's greys, scaled and mixed
// with each other): they cannot pass the blue test, so the clamp of notBlue() is not needed.
void writeGrey(const Colour& c, std::uint8_t* out)
{
    out[0] = toByte(c.r);
    out[1] = toByte(c.g);
    out[2] = toByte(c.b);
}

// Slab test of a ray against a box given by its corners relative to the ray's origin
// (lo = min - o, hi = max - o), with the reciprocal direction `inv`. Returns the entry
// distance (in units of the direction) and the axis of the entry face, or kInf on a miss
// (or when the origin is inside the box). NaN (a ray exactly in a face's plane) makes the
// comparisons false: a miss.
double hitBoxFrom(const Vec3& lo, const Vec3& hi, const Vec3& inv, int* axis)
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
        return kInf;
    }
    *axis = tNear == nx ? 0 : (tNear == ny ? 1 : 2);
    return tNear;
}

// The same for a box and an origin.
double hitBox(const Box& box, const Vec3& o, const Vec3& inv, int* axis)
{
    return hitBoxFrom(box.min - o, box.max - o, inv, axis);
}

Vec3 faceNormal(int axis, const Vec3& d)
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

double lambert(const Vec3& n) { return 0.55 + 0.45 * std::max(0.0, n.dot(kLight)); }

std::uint32_t hash2(std::int64_t x, std::int64_t y)
{
    std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ULL
                      ^ static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 32;
    return static_cast<std::uint32_t>(h);
}

double lattice(std::int64_t x, std::int64_t y) { return (hash2(x, y) & 0xFFFF) * (1.0 / 65535.0); }

// Smooth value noise in [0, 1] on a lattice that repeats every `period` cells.
double valueNoise(double x, double y, int period)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto at = [period](std::int64_t i, std::int64_t j) { return lattice(i % period, j % period); };
    const double a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
    return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

// atan2 to within a few thousandths of a radian: plenty for placing mountains.
double fastAtan2(double y, double x)
{
    const double ax = std::abs(x), ay = std::abs(y);
    const double mx = std::max(ax, ay);
    if (mx == 0.0) {
        return 0.0;
    }
    const double a = std::min(ax, ay) / mx;
    const double s = a * a;
    double r = ((-0.0464964749 * s + 0.15931422) * s - 0.327622764) * s * a + a;
    if (ay > ax) {
        r = 1.57079637 - r;
    }
    if (x < 0) {
        r = 3.14159274 - r;
    }
    return y < 0 ? -r : r;
}

// floor() without the library call (the default x86-64 target has no rounding instruction).
inline double fastFloor(double x)
{
    const auto truncated = static_cast<double>(static_cast<std::int64_t>(x));
    return truncated - (x < truncated ? 1.0 : 0.0);
}

// Triangle wave in [0, 1] with period 1: a cheap stand-in for a sine in textures.
double wave(double x)
{
    const double f = x - fastFloor(x);
    return f < 0.5 ? 2.0 * f : 2.0 - 2.0 * f;
}

// Pixel rectangle (inclusive) that can contain the image of a box given by its eight
// corners (index bit 0: x, bit 1: y, bit 2: z at its maximum). Only the part of the box in
// front of the camera counts: edges that cross the plane just in front of the eye are cut
// there, so a box partly behind the camera does not claim the whole image, and one wholly
// behind it claims nothing.
struct Rect {
    long u0, v0, u1, v1;
};

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
        return Rect{0, 0, -1, -1}; // wholly behind the camera
    }
    // A margin of two pixels covers rounding; beyond the image the rectangle is clipped.
    const long w = static_cast<long>(k.width) - 1, h = static_cast<long>(k.height) - 1;
    auto clampTo = [](double x, long hi) { return static_cast<long>(std::clamp(x, -2.0, static_cast<double>(hi) + 2.0)); };
    return Rect{clampTo(std::floor(u0) - 2, w), clampTo(std::floor(v0) - 2, h), clampTo(std::ceil(u1) + 2, w),
                clampTo(std::ceil(v1) + 2, h)};
}

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

// A body part as the camera sees it: its capsule (a box counts as the sphere around it)
// in camera coordinates and the screen rectangle that holds it. A part close to the eye
// can have a loose rectangle; for a large one each row gets its own span.
struct PartView {
    Vec3 a, b;
    double r = 0.0;
    Rect rect{0, 0, -1, -1};
    bool perRow = false;

    // The exact test of the rays of one row against the part's infinite cylinder (or, for
    // a box or a capsule of no length, against its bounding sphere): a ray d misses when
    // h(d) = (d . w)^2 - k * (baba * d . d - (ba . d)^2) < 0, the test BodyPart::intersect()
    // starts with. Along a row d is linear in the column, so h is a quadratic in it.
    Vec3 ba, w;
    double baba = 1.0, k = 0.0;

    PartView(const Pose& cam, const Intrinsics& k, const BodyPart& part)
    {
        const bool box = part.shape == BodyPart::Shape::Box;
        r = box ? part.boundRadius() : part.radius;
        const Vec3 axis = part.b - part.a, oa = cam.position - part.a;
        if (!box && axis.dot(axis) > 0.0) {
            ba = axis;
            baba = axis.dot(axis);
            const double baoa = axis.dot(oa);
            w = oa * baba - axis * baoa;
            this->k = baba * oa.dot(oa) - baoa * baoa - r * r * baba;
        } else {
            w = oa;
            this->k = oa.dot(oa) - r * r;
        }
        a = cam.orientation.inverseApply(part.a - cam.position);
        b = cam.orientation.inverseApply(part.b - cam.position);
        const double xs[2] = {a.x, b.x}, ys[2] = {a.y, b.y}, zs[2] = {a.z, b.z};
        pixelRange(xs, zs, r, k.fx, k.cx, static_cast<long>(k.width), &rect.u0, &rect.u1);
        pixelRange(ys, zs, r, k.fy, k.cy, static_cast<long>(k.height), &rect.v0, &rect.v1);
        if (rect.u0 > rect.u1 || rect.v0 > rect.v1) {
            rect = Rect{0, 0, -1, -1};
        }
        perRow = (rect.u1 - rect.u0 + 1) * (rect.v1 - rect.v0 + 1) > 2000;
    }

    // Narrows the columns [u0, u1] of the row whose rays are rowStart + step * u to those
    // whose rays meet the cylinder (or sphere) of the part: at most two stretches, the
    // second [*v0, *v1] (empty when v0 > v1). A pixel and a half of margin covers rounding.
    void cullRow(const Vec3& rowStart, const Vec3& step, long* u0, long* u1, long* v0, long* v1) const
    {
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

    // Columns of row v that can show the part. The rays of one row lie in a plane through
    // the eye; the part meets that plane only where its axis is within r of it, and there
    // in a disc of radius sqrt(r^2 - distance^2) around the axis point's projection.
    void rowSpan(const Intrinsics& k, double v, long* u0, long* u1) const
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
};

std::array<Vec3, 8> corners(const Box& b)
{
    return {Vec3{b.min.x, b.min.y, b.min.z}, Vec3{b.max.x, b.min.y, b.min.z}, Vec3{b.min.x, b.max.y, b.min.z},
            Vec3{b.max.x, b.max.y, b.min.z}, Vec3{b.min.x, b.min.y, b.max.z}, Vec3{b.max.x, b.min.y, b.max.z},
            Vec3{b.min.x, b.max.y, b.max.z}, Vec3{b.max.x, b.max.y, b.max.z}};
}

} // namespace

namespace {
constexpr int kPanoramaAzimuths = 2048;
constexpr int kPanoramaElevations = 1024; // sine of the elevation from 0 to 1
} // namespace

// Textures shared by every renderer: they depend on nothing but constants, so they are
// built once per process (on first use) and only read afterwards.
struct RenderTextures {
    std::vector<float> noise;          // tileable smooth noise, kNoiseSize^2 values in [0, 1]
    std::vector<std::uint8_t> speckle; // kSpeckleSize^2 bytes of the noise: small enough to stay in cache
    std::vector<std::uint8_t> panorama; // RGB sky by azimuth and sine of the elevation

    RenderTextures();

    // Bilinear lookup; one lattice cell of the texture spans one unit of (x, y).
    double smooth(double x, double y) const
    {
        const double tx = x * (static_cast<double>(kNoiseSize) / kNoiseCells);
        const double ty = y * (static_cast<double>(kNoiseSize) / kNoiseCells);
        const double fx = fastFloor(tx), fy = fastFloor(ty);
        const double ax = tx - fx, ay = ty - fy;
        const auto wrap = [](double v) { return static_cast<std::size_t>(static_cast<std::int64_t>(v) & (kNoiseSize - 1)); };
        const std::size_t i0 = wrap(fx), i1 = (i0 + 1) & (kNoiseSize - 1);
        const std::size_t j0 = wrap(fy), j1 = (j0 + 1) & (kNoiseSize - 1);
        const double a = noise[j0 * kNoiseSize + i0], b = noise[j0 * kNoiseSize + i1];
        const double c = noise[j1 * kNoiseSize + i0], d = noise[j1 * kNoiseSize + i1];
        return a + (b - a) * ax + (c - a) * ay + (a - b - c + d) * ax * ay;
    }

    // Nearest texel, in [0, 1]: the floor's speckle is fine enough not to need filtering.
    // Far floor pixels hit texels at random, so the speckle comes from a texture small
    // enough to stay in the cache.
    double grain(double x, double y) const
    {
        const double scale = static_cast<double>(kNoiseSize) / kNoiseCells;
        const auto i = static_cast<std::size_t>(static_cast<std::int64_t>(fastFloor(x * scale)) & (kSpeckleSize - 1));
        const auto j = static_cast<std::size_t>(static_cast<std::int64_t>(fastFloor(y * scale)) & (kSpeckleSize - 1));
        return speckle[j * kSpeckleSize + i] * (1.0 / 255.0);
    }

    void sky(const Vec3& d, std::uint8_t* out) const;
};

// The sky and the mountains on the horizon along direction d.
void RenderTextures::sky(const Vec3& d, std::uint8_t* out) const
{
    const double len = d.norm();
    const double s = d.y / len; // sine of the elevation
    const double azimuth = fastAtan2(d.x, d.z);
    const double ridge = 0.035 + 0.022 * wave(azimuth * 0.48 + 0.16) + 0.014 * wave(azimuth * 1.11 + 0.3)
                         + 0.007 * wave(azimuth * 2.7) - 0.005;
    if (s < ridge) {
        // Mountains: grey-brown rock, lighter toward the top, snow on the high peaks.
        const double rel = std::clamp(s / std::max(ridge, 1e-3), 0.0, 1.0);
        Colour rock = mix(Colour{78, 74, 70}, Colour{124, 118, 112}, rel);
        rock = rock * (0.8 + 0.4 * smooth(azimuth * 12.0, s * 60.0));
        if (ridge > 0.045 && s > ridge - 0.006) {
            rock = mix(rock, Colour{215, 215, 215}, 0.7);
        }
        notBlue(rock, out);
        return;
    }
    const double up = std::sqrt(std::clamp(s, 0.0, 1.0));
    Colour sky = mix(Colour{176, 190, 198}, Colour{92, 126, 148}, up);
    // Clouds on a layer high above: project the ray onto it and look the noise up there.
    const double k = 1.0 / (std::max(s, 0.05) * len);
    const double n = smooth(d.x * k * 0.8, d.z * k * 0.8);
    const double cover = std::clamp((n - 0.48) * 3.0, 0.0, 1.0);
    sky = mix(sky, Colour{226, 228, 230}, cover * 0.9);
    notBlue(sky, out);
}

RenderTextures::RenderTextures()
{
    // Two octaves of value noise.
    noise.resize(static_cast<std::size_t>(kNoiseSize) * kNoiseSize);
    const double scale = static_cast<double>(kNoiseCells) / kNoiseSize;
    for (int j = 0; j < kNoiseSize; ++j) {
        for (int i = 0; i < kNoiseSize; ++i) {
            const double n = 0.65 * valueNoise(i * scale, j * scale, kNoiseCells)
                             + 0.35 * valueNoise(i * scale * 2.0, j * scale * 2.0, 2 * kNoiseCells);
            noise[static_cast<std::size_t>(j) * kNoiseSize + i] = static_cast<float>(n);
        }
    }
    // The speckle: a corner of the noise, in bytes.
    speckle.resize(static_cast<std::size_t>(kSpeckleSize) * kSpeckleSize);
    for (int j = 0; j < kSpeckleSize; ++j) {
        for (int i = 0; i < kSpeckleSize; ++i) {
            const double n = noise[static_cast<std::size_t>(j) * kNoiseSize + i];
            speckle[static_cast<std::size_t>(j) * kSpeckleSize + i] =
                static_cast<std::uint8_t>(std::clamp(n, 0.0, 1.0) * 255.0 + 0.5);
        }
    }
    // The sky depends on the direction only: one panorama serves every view.
    panorama.resize(static_cast<std::size_t>(kPanoramaAzimuths) * kPanoramaElevations * 3);
    for (int e = 0; e < kPanoramaElevations; ++e) {
        const double s = static_cast<double>(e) / (kPanoramaElevations - 1);
        const double c = std::sqrt(std::max(0.0, 1.0 - s * s));
        for (int a = 0; a < kPanoramaAzimuths; ++a) {
            const double azimuth = (a + 0.5) * 2.0 * kPi / kPanoramaAzimuths - kPi;
            sky(Vec3{c * std::sin(azimuth), s, c * std::cos(azimuth)},
                &panorama[(static_cast<std::size_t>(e) * kPanoramaAzimuths + a) * 3]);
        }
    }
}

namespace {
const RenderTextures& sharedTextures()
{
    static const RenderTextures shared;
    return shared;
}
} // namespace

Renderer::Renderer(Scene scene) : scene_(std::move(scene)), textures_(&sharedTextures()), body_(robotBodyAtStart())
{
    for (int axis = 0; axis < 3; ++axis) {
        for (int away = 0; away < 2; ++away) {
            faceLight_[axis][away] = lambert(faceNormal(axis, Vec3{1.0, 1.0, 1.0} * (away ? 1.0 : -1.0)));
        }
    }
    solids_.push_back(Solid{Solid::TableTop, scene_.tableTop, scene_.tableColour});
    for (const Box& leg : scene_.tableLegs) {
        solids_.push_back(Solid{Solid::Leg, leg, scene_.legColour});
    }
    for (const Block& b : scene_.blocks) {
        if (solids_.size() < kMaxSolids) {
            solids_.push_back(Solid{Solid::Block, b.box, b.colour});
        }
    }
}

void Renderer::background(const Vec3& d, std::uint8_t* out) const
{
    const double len = d.norm();
    const double s = std::clamp(d.y / len, 0.0, 1.0);
    const double azimuth = fastAtan2(d.x, d.z);
    const int a = std::clamp(static_cast<int>((azimuth + kPi) * (kPanoramaAzimuths / (2.0 * kPi))), 0,
                             kPanoramaAzimuths - 1);
    const int e = static_cast<int>(s * (kPanoramaElevations - 1) + 0.5);
    const std::uint8_t* texel = &textures_->panorama[(static_cast<std::size_t>(e) * kPanoramaAzimuths + a) * 3];
    out[0] = texel[0];
    out[1] = texel[1];
    out[2] = texel[2];
}

void Renderer::shadeFloor(const Vec3& p, double distance, const Vec3& ball, FloorTile& lastTile, std::uint8_t* out) const
{
    const Colour horizon{160, 166, 160};
    if (distance > 1000.0) {
        writeGrey(horizon, out); // too far for any detail (and for exact texture coordinates)
        return;
    }
    // Square tiles 0.6 m wide with dark grout, each tile its own shade.
    constexpr double tile = 0.6;
    constexpr double perTile = 1.0 / tile;
    const double tx = p.x * perTile + 0.5, tz = p.z * perTile;
    const double ftx = fastFloor(tx), ftz = fastFloor(tz);
    const double fx = tx - ftx, fz = tz - ftz;
    Colour c{114, 121, 106};
    if (ftx != lastTile.x || ftz != lastTile.z) {
        lastTile.x = ftx;
        lastTile.z = ftz;
        lastTile.shade = 0.88 + 0.24 * lattice(static_cast<std::int64_t>(ftx), static_cast<std::int64_t>(ftz));
    }
    c = c * (lastTile.shade * (0.9 + 0.2 * textures_->grain(p.x * 6.0, p.z * 6.0)));
    const double grout = 0.012 / tile;
    if (fx < grout || fx > 1.0 - grout || fz < grout || fz > 1.0 - grout) {
        c = c * 0.55;
    }
    // Light from above: the table top shades the floor under it; the ball casts a shadow
    // on the floor when nothing is between them.
    const bool underTable = scene_.tableTop.containsXZ(p.x, p.z);
    if (underTable) {
        c = c * 0.6;
    }
    const double bx = p.x - ball.x, bz = p.z - ball.z;
    if (!underTable && ball.y > p.y && bx * bx + bz * bz < scene_.ballRadius * scene_.ballRadius) {
        c = c * 0.55;
    }
    // Haze with distance hides the aliasing of far tiles.
    const double haze = distance / (distance + 14.0);
    writeGrey(mix(c, horizon, haze), out);
}

void Renderer::setBody(std::vector<BodyPart> parts)
{
    if (parts.size() > kMaxBodyParts) {
        parts.resize(kMaxBodyParts);
    }
    std::lock_guard<std::mutex> lock(bodyMutex_);
    body_ = std::move(parts);
    ++bodyRevision_;
}

std::vector<BodyPart> Renderer::body() const
{
    std::lock_guard<std::mutex> lock(bodyMutex_);
    return body_;
}

std::uint64_t Renderer::bodyRevision() const
{
    std::lock_guard<std::mutex> lock(bodyMutex_);
    return bodyRevision_;
}

Renderer::Hit Renderer::nearest(const Vec3& o, const Vec3& d, const Vec3& ball, const std::vector<BodyPart>& body,
                                const PartFromEye* fromEye, Candidates candidates) const
{
    Hit hit;
    hit.t = kInf;
    if (candidates & 1u) {
        const double r = scene_.ballRadius;
        const Vec3 oc = o - ball;
        const double a = d.dot(d);
        const double halfB = d.dot(oc);
        const double c = oc.dot(oc) - r * r;
        const double disc = halfB * halfB - a * c;
        if (disc >= 0.0) {
            const double t = (-halfB - std::sqrt(disc)) / a;
            if (t > 0.0) {
                hit.t = t;
                hit.what = Hit::Ball;
            }
        }
    }
    // Visit only the set bits: most pixels have a candidate or two out of dozens.
    Candidates solids = (candidates >> 1) & ((Candidates{1} << kMaxSolids) - 1);
    if (solids != 0) {
        const Vec3 inv{1.0 / d.x, 1.0 / d.y, 1.0 / d.z};
        int axis = 0;
        for (; solids != 0; solids &= solids - 1) {
            const auto i = static_cast<std::size_t>(__builtin_ctzll(solids));
            if (i >= solids_.size()) {
                break;
            }
            const double t = hitBox(solids_[i].box, o, inv, &axis);
            if (t < hit.t) {
                hit = Hit{Hit::Solid, t, axis, &solids_[i], nullptr, Vec3{}};
            }
        }
    }
    Vec3 normal;
    for (Candidates parts = candidates >> kBodyBit; parts != 0; parts &= parts - 1) {
        const auto i = static_cast<std::size_t>(__builtin_ctzll(parts));
        if (i >= body.size()) {
            break;
        }
        const double t = fromEye != nullptr ? fromEye[i].intersect(d, &normal) : body[i].intersect(o, d, &normal);
        if (t > 0.0 && t < hit.t) {
            hit = Hit{Hit::Body, t, 0, nullptr, &body[i], normal};
        }
    }
    if (d.y < 0.0) {
        const double t = -o.y / d.y;
        if (t > 0.0 && t < hit.t) {
            hit = Hit{Hit::Floor, t, 1, nullptr, nullptr, Vec3{}};
        }
    }
    return hit;
}

void Renderer::shadeSolid(const Solid& solid, int axis, const Vec3& p, const Vec3& d, const Vec3& ball,
                          std::uint8_t* out) const
{
    const double along = axis == 0 ? d.x : (axis == 1 ? d.y : d.z);
    const bool facesAway = along > 0; // the face's normal points against +axis
    const double lit = faceLight_[axis][facesAway ? 1 : 0];
    Colour col = fromRgb(solid.colour);
    if (solid.kind != Solid::TableTop) {
        notBlue(col * lit, out);
        return;
    }
    if (axis == 1 && !facesAway) {
        // Faint wood grain across the upper face, and the ball's shadow on it.
        col = col * (0.97 + 0.05 * wave(p.z * 22.0 + 0.6 * wave(p.x * 1.3)));
        const double bx = p.x - ball.x, bz = p.z - ball.z;
        const double r = scene_.ballRadius;
        if (ball.y > p.y && bx * bx + bz * bz < r * r) {
            col = col * 0.55;
        }
    } else {
        col = col * 0.35; // the slab's edges and underside are in shade
    }
    notBlue(col * lit, out);
}

void Renderer::shade(const Hit& hit, const Vec3& o, const Vec3& d, const Vec3& ball, FloorTile& tile,
                     std::uint8_t* out) const
{
    if (hit.what == Hit::Nothing) {
        background(d, out);
        return;
    }
    const Vec3 p = o + d * hit.t;
    switch (hit.what) {
    case Hit::Ball: {
        const Vec3 n = (p - ball) * (1.0 / scene_.ballRadius);
        const double lit = std::max(0.0, n.dot(kLight));
        out[0] = 0;
        out[1] = 0;
        out[2] = toByte(27.0 + 133.0 * lit);
        return;
    }
    case Hit::Solid:
        shadeSolid(*hit.solid, hit.axis, p, d, ball, out);
        return;
    case Hit::Body: {
        // No notBlue() here: the navy covers pass the blue test, as the real ones do.
        const Vec3& n = hit.normal;
        const Colour col = fromRgb(hit.part->colourFacing(n)) * lambert(n);
        out[0] = toByte(col.r);
        out[1] = toByte(col.g);
        out[2] = toByte(col.b);
        return;
    }
    case Hit::Floor:
        shadeFloor(p, hit.t * d.norm(), ball, tile, out);
        return;
    case Hit::Nothing:
        break;
    }
    background(d, out);
}

Rgb Renderer::trace(const Vec3& o, const Vec3& d, const Vec3& ball) const
{
    std::uint8_t out[3];
    const std::vector<BodyPart> parts = body();
    FloorTile tile;
    shade(nearest(o, d, ball, parts, nullptr, kEverything), o, d, ball, tile, out);
    return Rgb{out[0], out[1], out[2]};
}

bool Renderer::seesBall(const Vec3& origin, const Vec3& direction, const Vec3& ball) const
{
    return nearest(origin, direction, ball, body(), nullptr, kEverything).what == Hit::Ball;
}

void Renderer::render(const Pose& camera, const Intrinsics& k, const Vec3& ball, std::uint8_t* pixels,
                      std::size_t rowBytes) const
{
    render(camera, k, ball, body(), pixels, rowBytes);
}

void Renderer::render(const Pose& camera, const Intrinsics& k, const Vec3& ball, const std::vector<BodyPart>& parts,
                      std::uint8_t* pixels, std::size_t rowBytes) const
{
    // Only rays that fall in an object's screen rectangle are tested against it.
    const double r = scene_.ballRadius;
    std::vector<Rect> rects;
    rects.reserve(solids_.size() + 1);
    rects.push_back(screenBounds(camera, k, corners(Box{ball - Vec3{r, r, r}, ball + Vec3{r, r, r}})));
    for (const Solid& solid : solids_) {
        rects.push_back(screenBounds(camera, k, corners(solid.box)));
    }
    // Empty rectangles keep the unused solid bits clear.
    rects.resize(kBodyBit, Rect{0, 0, -1, -1});
    const std::size_t bodyParts = std::min(parts.size(), kMaxBodyParts);
    std::vector<PartView> views;
    views.reserve(bodyParts);
    std::vector<PartFromEye> fromEye;
    fromEye.reserve(bodyParts);
    for (std::size_t i = 0; i < bodyParts; ++i) {
        views.emplace_back(camera, k, parts[i]);
        fromEye.emplace_back(parts[i], camera.position);
        rects.push_back(views.back().rect);
    }

    // Ray direction for pixel (u, v) is right * (u - cx) + down * (v - cy) + forward.
    const Vec3 right = camera.orientation.column(0) * (-1.0 / k.fx);
    const Vec3 down = camera.orientation.column(1) * (-1.0 / k.fy);
    const Vec3 forward = camera.orientation.column(2);
    // The solids' corners relative to the eye, for the rays from it.
    std::array<Vec3, kMaxSolids> solidLo, solidHi;
    for (std::size_t i = 0; i < solids_.size(); ++i) {
        solidLo[i] = solids_[i].box.min - camera.position;
        solidHi[i] = solids_[i].box.max - camera.position;
    }
    constexpr Candidates kSolidBits = ((Candidates{1} << kMaxSolids) - 1) << 1;
    // Narrow spans are not worth the exact per-row test.
    constexpr long kCullWidth = 8;
    std::vector<Candidates> rowCandidates(k.width);
    FloorTile tile;
    for (std::size_t v = 0; v < k.height; ++v) {
        std::uint8_t* row = pixels + v * rowBytes;
        const Vec3 rowBase = forward + down * (static_cast<double>(v) - k.cy);
        const Vec3 rowStart = rowBase - right * k.cx; // the ray of column u is rowStart + right * u
        const long lv = static_cast<long>(v);
        std::fill(rowCandidates.begin(), rowCandidates.end(), Candidates{0});
        for (std::size_t i = 0; i < rects.size(); ++i) {
            const Rect& rect = rects[i];
            if (lv < rect.v0 || lv > rect.v1) {
                continue;
            }
            long u0 = std::max(rect.u0, 0L), u1 = std::min(rect.u1, static_cast<long>(k.width) - 1);
            long w0 = 1, w1 = 0;
            if (i >= kBodyBit) {
                const PartView& view = views[i - kBodyBit];
                if (view.perRow) {
                    view.rowSpan(k, static_cast<double>(v), &u0, &u1);
                }
                if (u1 - u0 >= kCullWidth) {
                    view.cullRow(rowStart, right, &u0, &u1, &w0, &w1);
                }
            }
            for (long u = u0; u <= u1; ++u) {
                rowCandidates[static_cast<std::size_t>(u)] |= Candidates{1} << i;
            }
            for (long u = w0; u <= w1; ++u) {
                rowCandidates[static_cast<std::size_t>(u)] |= Candidates{1} << i;
            }
        }
        for (std::size_t u = 0; u < k.width; ++u) {
            const Vec3 d = rowBase + right * (static_cast<double>(u) - k.cx);
            const Candidates candidates = rowCandidates[u];
            if ((candidates & kSolidBits) == candidates) {
                // Most pixels show only the floor, the sky or the table: the same as
                // nearest() and shade() would do, without their bookkeeping.
                const Vec3& o = camera.position;
                double tSolid = kInf;
                int axis = 0;
                const Solid* solid = nullptr;
                if (candidates != 0) {
                    const Vec3 inv{1.0 / d.x, 1.0 / d.y, 1.0 / d.z};
                    for (Candidates bits = candidates >> 1; bits != 0; bits &= bits - 1) {
                        const auto i = static_cast<std::size_t>(__builtin_ctzll(bits));
                        if (i >= solids_.size()) {
                            break;
                        }
                        int a = 0;
                        const double t = hitBoxFrom(solidLo[i], solidHi[i], inv, &a);
                        if (t < tSolid) {
                            tSolid = t;
                            axis = a;
                            solid = &solids_[i];
                        }
                    }
                }
                const double t = d.y < 0.0 ? -o.y / d.y : -1.0;
                if (t > 0.0 && t < tSolid) {
                    shadeFloor(o + d * t, t * d.norm(), ball, tile, row + 3 * u);
                } else if (solid != nullptr) {
                    shadeSolid(*solid, axis, o + d * tSolid, d, ball, row + 3 * u);
                } else {
                    background(d, row + 3 * u);
                }
                continue;
            }
            shade(nearest(camera.position, d, ball, parts, fromEye.data(), candidates), camera.position, d, ball, tile, row + 3 * u);
        }
    }
}

} // namespace sim
