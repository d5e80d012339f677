#include "sim/robot_model.h"

namespace sim {

Mat3 headOrientation(const double* head)
{
    return rotX(-deg2rad(head[0])) * rotZ(deg2rad(head[1])) * rotY(deg2rad(head[2]));
}

Pose leftEyePose(const double* head)
{
    const Mat3 neck = headOrientation(head);
    // Positive pan turns the eye toward the robot's left; version and vergence both turn
    // the left eye toward the robot's right.
    const double pan = -head[4] - 0.5 * head[5];
    Pose pose;
    pose.position = body::kNeckPivot + neck * body::kLeftEyeOffset;
    pose.orientation = neck * rotX(-deg2rad(head[3])) * rotY(deg2rad(pan));
    return pose;
}

Vec3 inertialSensorPosition(const double* head)
{
    return body::kNeckPivot + headOrientation(head) * body::kInertialOffset;
}

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
