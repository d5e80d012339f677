#include "sim/model/robot_body.h"

#include <algorithm>
#include <cmath>

#include "sim/model/joint_board.h"

namespace sim {

namespace {
// A part of one colour, of the given shape, with its two points set.
BodyPart plainPart(BodyPart::Shape shape, const Vec3& a, const Vec3& b, Rgb colour)
{
    BodyPart p;
    p.shape = shape;
    p.a = a;
    p.b = b;
    p.colour = colour;
    p.cover = colour;
    return p;
}
} // namespace

BodyPart BodyPart::capsule(const Vec3& a, const Vec3& b, double radius, Rgb colour)
{
    BodyPart p = plainPart(Shape::Capsule, a, b, colour);
    p.radius = radius;
    return p;
}

BodyPart BodyPart::box(const Vec3& centre, const Mat3& axes, const Vec3& half, Rgb colour)
{
    BodyPart p = plainPart(Shape::Box, centre, centre, colour);
    p.axes = axes;
    p.half = half;
    return p;
}

BodyPart BodyPart::withCover(Rgb coverColour, const Vec3& side, double from) const
{
    BodyPart p = *this;
    p.cover = coverColour;
    p.coverSide = side.normalized();
    p.coverFrom = from;
    return p;
}

double BodyPart::boundRadius() const
{
    return shape == Shape::Capsule ? (b - a).norm() * 0.5 + radius : half.norm();
}

const Rgb& BodyPart::colourFacing(const Vec3& n) const
{
    return n.dot(coverSide) > coverFrom && coverSide.dot(coverSide) > 0.0 ? cover : colour;
}

double BodyPart::intersect(const Vec3& o, const Vec3& d, Vec3* normal) const
{
    return PartFromEye(*this, o).intersect(d, normal);
}

PartFromEye::PartFromEye(const BodyPart& part, const Vec3& origin) : part_(&part), origin_(origin)
{
    oa_ = origin - part.a;
    if (part.shape == BodyPart::Shape::Box) {
        local_ = part.axes.inverseApply(oa_);
        return;
    }
    ba_ = part.b - part.a;
    baba_ = ba_.dot(ba_);
    baoa_ = ba_.dot(oa_);
    oaoa_ = oa_.dot(oa_);
    qc_ = baba_ * oaoa_ - baoa_ * baoa_ - part.radius * part.radius * baba_;
    ob_ = origin - part.b;
    capA_ = oa_.dot(oa_) - part.radius * part.radius;
    capB_ = ob_.dot(ob_) - part.radius * part.radius;
}

RayBound PartFromEye::bound() const
{
    const BodyPart& part = *part_;
    if (part.shape == BodyPart::Shape::Capsule && baba_ > 0.0) {
        return RayBound{ba_, baba_, oa_ * baba_ - ba_ * baoa_, qc_};
    }
    const double r = part.shape == BodyPart::Shape::Box ? part.boundRadius() : part.radius;
    return RayBound{Vec3{}, 1.0, oa_, oa_.dot(oa_) - r * r};
}

double PartFromEye::intersect(const Vec3& d, Vec3* normal) const
{
    const BodyPart& part = *part_;
    if (part.shape == BodyPart::Shape::Box) {
        // Slab test in the box's own frame.
        const Vec3 ld = part.axes.inverseApply(d);
        const double ov[3] = {local_.x, local_.y, local_.z}, dv[3] = {ld.x, ld.y, ld.z};
        const double hv[3] = {part.half.x, part.half.y, part.half.z};
        double tNear = -1e300, tFar = 1e300;
        int axis = 0;
        for (int i = 0; i < 3; ++i) {
            if (std::abs(dv[i]) < 1e-12) {
                if (std::abs(ov[i]) > hv[i]) {
                    return -1.0;
                }
                continue;
            }
            double t0 = (-hv[i] - ov[i]) / dv[i], t1 = (hv[i] - ov[i]) / dv[i];
            if (t0 > t1) {
                std::swap(t0, t1);
            }
            if (t0 > tNear) {
                tNear = t0;
                axis = i;
            }
            tFar = std::min(tFar, t1);
        }
        if (!(tNear <= tFar) || !(tNear > 0.0)) {
            return -1.0;
        }
        const double s = dv[axis] > 0.0 ? -1.0 : 1.0;
        *normal = part.axes.column(axis) * s;
        return tNear;
    }
    // Capsule: the side of the cylinder first, then the cap on the side the ray meets.
    const double bard = ba_.dot(d), rdoa = d.dot(oa_), dd = d.dot(d);
    const double qa = baba_ * dd - bard * bard;
    const double qb = baba_ * rdoa - baoa_ * bard;
    const double h = qb * qb - qa * qc_;
    if (h < 0.0) {
        return -1.0;
    }
    double t = -1.0;
    if (qa > 1e-18) {
        const double side = (-qb - std::sqrt(h)) / qa;
        const double y = baoa_ + side * bard;
        if (y > 0.0 && y < baba_ && side > 0.0) {
            t = side;
        }
    }
    if (t < 0.0) {
        const double tA = raySphereEntry(d, oa_, capA_), tB = raySphereEntry(d, ob_, capB_);
        t = tA > 0.0 && (tB <= 0.0 || tA < tB) ? tA : tB;
        if (t <= 0.0) {
            return -1.0;
        }
    }
    const Vec3 p = origin_ + d * t;
    const double along = baba_ > 0.0 ? std::clamp((p - part.a).dot(ba_) / baba_, 0.0, 1.0) : 0.0;
    *normal = (p - (part.a + ba_ * along)) * (1.0 / part.radius);
    return t;
}

namespace {

using namespace body_colour;

Mat3 axesFrom(const Vec3& x, const Vec3& y, const Vec3& z)
{
    Mat3 m;
    const Vec3 cols[3] = {x, y, z};
    for (int j = 0; j < 3; ++j) {
        m.m[0][j] = cols[j].x;
        m.m[1][j] = cols[j].y;
        m.m[2][j] = cols[j].z;
    }
    return m;
}

// One arm: white upper arm, forearm white underneath with the navy cover over its back,
// navy hand, four grey fingers and a thumb.
void addArm(const ArmPose& arm, double outward, std::vector<BodyPart>& parts)
{
    parts.push_back(BodyPart::capsule(arm.shoulder, arm.elbow, 0.034, kWhite));
    // The forearm's cover ends 2 cm short of the wrist (0.116 m from the elbow, of 0.137).
    const Vec3 coverEnd = arm.elbow + (arm.wrist - arm.elbow) * (0.086 / 0.137);
    parts.push_back(BodyPart::capsule(arm.elbow, coverEnd, 0.030, kWhite)
                        .withCover(kNavy, arm.hand.column(2) + arm.forearm.column(0) * (0.6 * outward), -0.35));
    // The hand: a flat navy block the length and thickness of the real hand's cover (0.08 m
    // from just above the wrist), whose centre is the palm centre that `world get lhand`
    // reports.
    const Vec3 across = arm.hand.column(0), along = -arm.hand.column(1), back = arm.hand.column(2);
    parts.push_back(BodyPart::box(arm.palm, axesFrom(across, along, back), {0.028, 0.040, 0.0105}, kNavy));
    const Vec3 knuckles = arm.palm + along * 0.038;
    for (int f = 0; f < 4; ++f) {
        const double offset = (f - 1.0) * 0.016 * outward;
        const double length = f == 1 ? 0.058 : (f == 3 ? 0.042 : 0.052);
        const Vec3 base = knuckles + across * offset;
        parts.push_back(BodyPart::capsule(base, base + along * length, 0.0075, kFinger));
    }
    const Vec3 thumbBase = arm.palm - across * (0.030 * outward) - along * 0.012;
    parts.push_back(
        BodyPart::capsule(thumbBase, thumbBase + (along * 0.8 - across * (0.5 * outward) - back * 0.3) * 0.045, 0.0085,
                          kFinger));
}

// One leg, standing straight: white thigh with its navy front, navy shin, navy foot.
void addLeg(double x, std::vector<BodyPart>& parts)
{
    const Vec3 hip{x, 0.47, -0.035}, knee{x, 0.26, -0.025}, ankle{x, 0.075, -0.035};
    parts.push_back(BodyPart::capsule(hip, knee, 0.045, kWhite).withCover(kNavy, {0.0, 0.0, 1.0}, 0.55));
    parts.push_back(BodyPart::capsule(knee, ankle, 0.038, kNavy));
    parts.push_back(BodyPart::box({x, 0.025, 0.005}, Mat3::identity(), {0.030, 0.025, 0.082}, kNavy));
}

} // namespace

// The face around the left eye, in the head frame relative to the eye's centre, fitted to
// where the real simulator's left eye sees its own face: the bridge of the nose on the
// mid-plane (seen beyond about 52 degrees to the eye's right) and the white cheek and chin
// below and to the right of the eye, red where the mouth is.
void addFace(const double* head, std::vector<BodyPart>& parts)
{
    const Mat3 h = headOrientation(head);
    const Vec3 eye = headPoint(head, body::kLeftEyeHinge);
    auto at = [&](double x, double y, double z) { return eye + h * Vec3{x, y, z}; };
    parts.push_back(BodyPart::capsule(at(-0.034, -0.045, 0.0), at(-0.034, 0.05, 0.0), 0.021, kWhite));
    parts.push_back(BodyPart::capsule(at(-0.091, 0.085, -0.028), at(-0.031, -0.133, 0.027), 0.038, kWhite)
                        .withCover(kMouth, h * Vec3{0.0, -1.0, 0.3}, 0.75));
}

std::vector<BodyPart> robotBody(const double* head, const double* leftArm, const double* rightArm)
{
    std::vector<BodyPart> parts;
    parts.reserve(32);
    addFace(head, parts);
    addArm(armPose(leftArm, Side::Left), 1.0, parts);
    addArm(armPose(rightArm, Side::Right), -1.0, parts);
    // Torso and hips: the chest below the neck, the waist, the hip block between the legs.
    parts.push_back(BodyPart::box({0.0, 0.675, -0.060}, Mat3::identity(), {0.085, 0.095, 0.055}, kWhite));
    parts.push_back(BodyPart::capsule({0.0, 0.565, -0.050}, {0.0, 0.565, -0.050}, 0.065, kGrey));
    parts.push_back(BodyPart::box({0.0, 0.50, -0.045}, Mat3::identity(), {0.105, 0.045, 0.055}, kWhite));
    addLeg(0.068, parts);
    addLeg(-0.068, parts);
    return parts;
}

std::vector<BodyPart> robotBodyAtStart()
{
    const std::vector<double> start = armStartPose();
    const std::vector<double> rest(kHeadAxes, 0.0);
    return robotBody(rest.data(), start.data(), start.data());
}

} // namespace sim
