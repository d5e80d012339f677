#include "sim/robot_model.h"

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
    // Each link hangs along -y of its frame when its joints are at zero. Shoulder pitch
    // (negative lifts the arm forward), roll (positive moves it away from the body) and
    // yaw (about the upper arm); elbow flexion bends the forearm forward; prosupination
    // turns about the forearm; wrist pitch and yaw swing the palm.
    const Vec3 down{0.0, -1.0, 0.0};
    ArmPose pose;
    pose.shoulder = body::kLeftShoulder;
    Mat3 r = rotY(-deg2rad(body::kShoulderTurn)) * rotX(deg2rad(arm[0])) * rotZ(deg2rad(arm[1]))
             * rotY(deg2rad(arm[2]));
    pose.elbow = pose.shoulder + r * (down * body::kUpperArm);
    r = r * rotX(-deg2rad(arm[3])) * rotY(deg2rad(arm[4]));
    pose.forearm = r;
    pose.wrist = pose.elbow + r * (down * body::kForearm);
    r = r * rotX(-deg2rad(arm[5])) * rotZ(deg2rad(arm[6]));
    pose.hand = r;
    pose.palm = pose.wrist + r * (down * body::kHand);
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
