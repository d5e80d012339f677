#pragma once
// Kinematics of the simulated robot: where the left eye is and where it looks for a given
// head pose, and where each hand is for a given arm pose.
//
// Head joints (degrees): 0 neck pitch (negative looks down), 1 neck roll, 2 neck yaw
// (negative turns to the robot's right), 3 eye tilt (negative looks down), 4 eye version
// (positive turns the eyes to the robot's right: the opposite sense of the neck yaw, as on
// the real robot), 5 eye vergence (positive converges: the left eye turns toward the
// robot's right). The neck chain is pitch, then roll, then yaw, each about its own hinge;
// the eyes tilt together about one hinge, then each pans about its own.
#include <cstddef>

#include "sim/model/geometry.h"

namespace sim {

/// Where a camera is and how it is turned. The columns of `orientation` are the camera's
/// axes in the world frame: x toward the image's left, y toward the image's top, z along
/// the line of sight.
struct Pose {
    Vec3 position;
    Mat3 orientation;
};

namespace body {
// The head's hinges where the real simulator's model puts them with every joint at zero
// (world frame): neck pitch about x, neck roll about z, neck yaw about y, eye tilt about x,
// the left eye's pan about y. The left camera sits at the left eye's hinge.
constexpr Vec3 kNeckPitchHinge{0.0, 0.8229, -0.01819};
constexpr Vec3 kNeckRollHinge{0.0, 0.8559, -0.01819};
constexpr Vec3 kNeckYawHinge{0.0, 0.8559, -0.01719};
constexpr Vec3 kEyeTiltHinge{0.0, 0.9384, 0.03681};
constexpr Vec3 kLeftEyeHinge{0.034, 0.9384, 0.03681};
/// Inertial sensor on the head, where it is with the head at rest.
constexpr Vec3 kInertialAtRest{-0.0066, 0.9564, -0.03969};
/// The left arm's hinges with every joint at zero (the arm hanging), where the real
/// simulator's model puts them: its arm chain at zero angles taken into the world frame.
/// Shoulder pitch, roll and yaw, elbow, forearm prosupination, wrist pitch and yaw; the
/// shoulder's pitch and roll axes are turned 15 degrees about the vertical.
struct Hinge {
    Vec3 anchor;
    Vec3 axis;
    /// The link beyond turns about `axis` by this times the joint's angle.
    double sense;
};
constexpr Hinge kLeftArmHinges[7] = {
    {{0.0060, 0.7729, -0.0431}, {0.96593, 0.0, 0.25882}, 1.0},
    {{0.1101, 0.7729, -0.0152}, {-0.25882, 0.0, 0.96593}, 1.0},
    {{0.1101, 0.7729, -0.0152}, {0.0, 1.0, 0.0}, -1.0},
    {{0.1101, 0.6206, -0.0002}, {1.0, 0.0, 0.0}, -1.0},
    {{0.1101, 0.6206, -0.0152}, {0.0, 1.0, 0.0}, -1.0},
    {{0.1101, 0.4833, -0.0152}, {0.0, 0.0, 1.0}, -1.0},
    {{0.1101, 0.4833, -0.0152}, {-1.0, 0.0, 0.0}, 1.0},
};
/// Left shoulder (where the three shoulder axes meet) in the world frame.
constexpr Vec3 kLeftShoulder = kLeftArmHinges[1].anchor;
/// The palm's centre (what `world get lhand` reports) with the arm hanging: 3.1 cm below
/// the wrist, on the palm's side of the arm's line.
constexpr Vec3 kLeftPalmAtRest{0.0934, 0.4521, -0.0154};
} // namespace body

constexpr std::size_t kHeadAxes = 6;
constexpr std::size_t kArmAxes = 16;

enum class Side { Left, Right };

/// Orientation of the head frame for the neck joints in `head` (six values, degrees).
Mat3 headOrientation(const double* head);

/// Where a point fixed to the head is for the joints in `head`, given where it is with
/// the head at rest.
Vec3 headPoint(const double* head, const Vec3& atRest);

/// Pose of the left eye's camera for the six head joints in `head`. The line of sight is
/// the eye's own forward axis; the image's top is the one the real simulator's camera
/// takes: the world's up tipped sideways only by the eye's roll (its x axis' rise), not
/// the rigid eye frame's up. With the neck pitched and yawed together the image therefore
/// stays nearly level.
Pose leftEyePose(const double* head);

/// Position of the inertial sensor for the six head joints in `head`.
Vec3 inertialSensorPosition(const double* head);

/// Where the links of one arm are for its sixteen joints. `hand` is the hand's frame: its
/// -y column points from the wrist to the fingers, its z column out of the back of the
/// hand (the side away from the palm), its x column across the hand away from the thumb.
struct ArmPose {
    Vec3 shoulder;
    Vec3 elbow;
    Vec3 wrist;
    Vec3 palm; ///< centre of the palm
    Mat3 forearm; ///< frame of the forearm (its -y column runs from elbow to wrist)
    Mat3 hand;
};

/// Pose of the links for the sixteen arm joints in `arm`. The right arm mirrors the left
/// through the mid-plane x = 0.
ArmPose armPose(const double* arm, Side side);

/// Centre of the palm for the sixteen arm joints in `arm`. The right arm mirrors the left.
Vec3 handPosition(const double* arm, Side side);

} // namespace sim
