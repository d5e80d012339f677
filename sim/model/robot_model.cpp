#include "sim/model/robot_model.h"

namespace sim {

namespace {

Mat3 neckPitch(const double* head) { return rotX(-deg2rad(head[0])); }
Mat3 neckPitchRoll(const double* head) { return neckPitch(head) * rotZ(deg2rad(head[1])); }

} // namespace

Mat3 headOrientation(const double* head) { return neckPitchRoll(head) * rotY(deg2rad(head[2])); }

Vec3 headPoint(const double* head, const Vec3& atRest)
{
    // Each hinge turns everything beyond it about its own anchor.
    using namespace body;
    return kNeckPitchHinge + neckPitch(head) * (kNeckRollHinge - kNeckPitchHinge)
           + neckPitchRoll(head) * (kNeckYawHinge - kNeckRollHinge) + headOrientation(head) * (atRest - kNeckYawHinge);
}

Pose leftEyePose(const double* head)
{
    // Positive pan turns the eye toward the robot's left; version and vergence both turn
    // the left eye toward the robot's right.
    const double pan = -head[4] - 0.5 * head[5];
    const Mat3 tilted = headOrientation(head) * rotX(-deg2rad(head[3]));
    const Mat3 eye = tilted * rotY(deg2rad(pan));
    Pose pose;
    pose.position = headPoint(head, body::kEyeTiltHinge) + tilted * (body::kLeftEyeHinge - body::kEyeTiltHinge);
    const Vec3 forward = eye.column(2);
    const Vec3 upHint{-eye.m[1][0], 1.0, 0.0};
    const Vec3 right = forward.cross(upHint).normalized();
    const Vec3 up = right.cross(forward);
    const Vec3 left = -right;
    pose.orientation.m[0][0] = left.x;
    pose.orientation.m[1][0] = left.y;
    pose.orientation.m[2][0] = left.z;
    pose.orientation.m[0][1] = up.x;
    pose.orientation.m[1][1] = up.y;
    pose.orientation.m[2][1] = up.z;
    pose.orientation.m[0][2] = forward.x;
    pose.orientation.m[1][2] = forward.y;
    pose.orientation.m[2][2] = forward.z;
    return pose;
}

Vec3 inertialSensorPosition(const double* head) { return headPoint(head, body::kInertialAtRest); }

ArmPose armPose(const double* arm, Side side)
{
    // Each hinge turns everything beyond it about its own anchor, in the chain's order;
    // anchors and axes are where they are with the arm hanging.
    Mat3 r;
    Vec3 t;
    const auto at = [&](const Vec3& rest) { return r * rest + t; };
    const auto turn = [&](int j) {
        const body::Hinge& h = body::kLeftArmHinges[j];
        const Mat3 turned = rotAbout(h.axis, deg2rad(h.sense * arm[j]));
        t = t + r * (h.anchor - turned * h.anchor);
        r = r * turned;
    };
    // The links' own frames with the arm hanging: -y down along the arm, z out of the back
    // of the hand (outward: the palm faces the body), x away from the thumb (backward).
    Mat3 hanging;
    hanging.m[0][0] = 0.0;
    hanging.m[2][0] = -1.0;
    hanging.m[0][2] = 1.0;
    hanging.m[2][2] = 0.0;
    ArmPose pose;
    pose.shoulder = body::kLeftShoulder;
    for (int j = 0; j < 4; ++j) {
        turn(j);
    }
    pose.elbow = at(body::kLeftArmHinges[3].anchor);
    turn(4);
    pose.forearm = r * hanging;
    pose.wrist = at(body::kLeftArmHinges[5].anchor);
    turn(5);
    turn(6);
    pose.hand = r * hanging;
    pose.palm = at(body::kLeftPalmAtRest);
    if (side == Side::Left) {
        return pose;
    }
    // The right arm is the mirror image of the left one through the mid-plane x = 0.
    const Mat3 mirror = [] {
        Mat3 m;
        m.m[0][0] = -1.0;
        return m;
    }();
    auto reflect = [](const Vec3& p) { return Vec3{-p.x, p.y, p.z}; };
    pose.shoulder = reflect(pose.shoulder);
    pose.elbow = reflect(pose.elbow);
    pose.wrist = reflect(pose.wrist);
    pose.palm = reflect(pose.palm);
    pose.forearm = mirror * pose.forearm * mirror;
    pose.hand = mirror * pose.hand * mirror;
    return pose;
}

Vec3 handPosition(const double* arm, Side side) { return armPose(arm, side).palm; }

} // namespace sim
