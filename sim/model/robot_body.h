#pragma once
// The robot's own body as the left camera sees it: arms (upper arm, forearm with its navy
// cover, navy hand, grey fingers), torso, hips, legs and navy feet, as capsules and boxes
// with the colours of the real simulator. The arms follow their joints; the rest stands
// still. The navy parts pass the ball finder's blue test (B > 1.2 R + 10 and
// B > 1.2 G + 10) like the real covers do, but never look pure blue (their green stays
// well above zero), so they can be told from the ball.
#include <vector>

#include "sim/model/geometry.h"
#include "sim/model/ray_hits.h"
#include "sim/model/robot_model.h"
#include "sim/model/scene.h"

namespace sim {

/// One rigid piece of the body: a capsule (a segment swept by a sphere) or a box turned by
/// `axes`, in one colour or two (a cover over the side that faces `coverSide`).
struct BodyPart {
    enum class Shape { Capsule, Box };
    Shape shape = Shape::Capsule;
    Vec3 a;              ///< capsule: one end of the axis; box: the centre
    Vec3 b;              ///< capsule: the other end of the axis
    double radius = 0.0; ///< capsule radius
    Mat3 axes;           ///< box: its edges' directions (columns)
    Vec3 half;           ///< box: half the edge lengths along its axes
    Rgb colour;
    Rgb cover;           ///< used where the surface normal n has n . coverSide > coverFrom
    Vec3 coverSide;      ///< zero: no cover
    double coverFrom = 0.0;

    static BodyPart capsule(const Vec3& a, const Vec3& b, double radius, Rgb colour);
    static BodyPart box(const Vec3& centre, const Mat3& axes, const Vec3& half, Rgb colour);
    BodyPart withCover(Rgb cover, const Vec3& side, double from) const;

    /// Centre and radius of a sphere that holds the whole part.
    double boundRadius() const;

    /// Distance along the ray (in units of `d`, any non-zero length) to where it enters
    /// the part, or a negative value when it misses (or starts inside). `normal` gets the
    /// outward unit normal there.
    double intersect(const Vec3& o, const Vec3& d, Vec3* normal) const;

    /// The colour of the surface with outward normal `n`.
    const Rgb& colourFacing(const Vec3& n) const;
};

/// The tests of one part against rays from one origin, with what depends on the origin
/// alone worked out once: a renderer tests many rays from the same eye. Gives the same
/// results as BodyPart::intersect() with that origin.
class PartFromEye {
public:
    PartFromEye(const BodyPart& part, const Vec3& origin);

    /// As BodyPart::intersect(origin, d, normal).
    double intersect(const Vec3& d, Vec3* normal) const;

    /// The test a ray from the origin passes before it can meet the part: a capsule's
    /// infinite cylinder (the side test intersect() starts with), or for a box and a
    /// capsule of no length the sphere around the part.
    RayBound bound() const;

private:
    const BodyPart* part_;
    Vec3 origin_;
    Vec3 oa_;            ///< origin - a
    // Capsule: the axis ba = b - a and the terms of the side test that do not depend on d.
    Vec3 ba_;
    double baba_ = 0.0, baoa_ = 0.0, oaoa_ = 0.0, qc_ = 0.0;
    Vec3 ob_;            ///< origin - b
    double capA_ = 0.0, capB_ = 0.0; ///< oc . oc - r^2 of the two end spheres
    Vec3 local_;         ///< box: the origin in the box's frame
};

/// Colours of the body, taken from the real simulator's camera.
namespace body_colour {
constexpr Rgb kNavy{16, 44, 78};     ///< covers of forearms, hands, shins and feet
constexpr Rgb kWhite{222, 222, 218}; ///< shells of upper arms, forearms, thighs and torso
constexpr Rgb kGrey{150, 150, 152};  ///< joints and the hips
constexpr Rgb kFinger{196, 196, 198};
constexpr Rgb kMouth{200, 30, 30};
} // namespace body_colour

/// The whole body for the six head joints and the sixteen joints of each arm. The head
/// contributes the parts of the face that the left eye can see when it turns far to the
/// right or down: the bridge of the nose and the white lower face with the red mouth.
std::vector<BodyPart> robotBody(const double* head, const double* leftArm, const double* rightArm);

/// The body with the head at rest and both arms at their start pose.
std::vector<BodyPart> robotBodyAtStart();

} // namespace sim
