#pragma once
// Which pixels can show an object, so that each ray is tested only against the objects
// that can meet it: the screen rectangle of a box (the ball's, a solid's), and for a body
// part its rectangle, the span of each row, and within a row the columns whose rays pass
// the part's ray bound.
#include <array>

#include "sim/model/ray_hits.h"
#include "sim/model/robot_body.h"
#include "sim/model/robot_model.h"
#include "sim/model/scene.h"
#include "sim/render/camera.h"

namespace sim::render_detail {

/// Pixel rectangle, inclusive; empty when u0 > u1 or v0 > v1.
struct Rect {
    long u0, v0, u1, v1;
};
constexpr Rect kNoPixels{0, 0, -1, -1};

/// The eight corners of a box (index bit 0: x, bit 1: y, bit 2: z at its maximum).
std::array<Vec3, 8> corners(const Box& b);

/// Pixel rectangle that can contain the image of a box given by its corners. Only the part
/// of the box in front of the camera counts: edges that cross the plane just in front of
/// the eye are cut there, so a box partly behind the camera does not claim the whole image,
/// and one wholly behind it claims nothing.
Rect screenBounds(const Pose& cam, const Intrinsics& k, const std::array<Vec3, 8>& corners);

/// A body part as the camera sees it: its capsule (a box counts as the sphere around it)
/// in camera coordinates and the screen rectangle that holds it. A part close to the eye
/// can have a loose rectangle; for a large one each row gets its own span.
struct PartView {
    Vec3 a, b;
    double r = 0.0;
    Rect rect = kNoPixels;
    bool perRow = false;
    RayBound bound; ///< from the eye, as PartFromEye::bound() gives it

    PartView(const Pose& cam, const Intrinsics& k, const BodyPart& part, const RayBound& fromEye);

    /// Narrows the columns [u0, u1] of the row whose rays are rowStart + step * u to those
    /// whose rays pass the part's ray bound: at most two stretches, the second [*v0, *v1]
    /// (empty when v0 > v1). A pixel and a half of margin covers rounding.
    void cullRow(const Vec3& rowStart, const Vec3& step, long* u0, long* u1, long* v0, long* v1) const;

    /// Columns of row v that can show the part. The rays of one row lie in a plane through
    /// the eye; the part meets that plane only where its axis is within r of it, and there
    /// in a disc of radius sqrt(r^2 - distance^2) around the axis point's projection.
    void rowSpan(const Intrinsics& k, double v, long* u0, long* u1) const;
};

} // namespace sim::render_detail
