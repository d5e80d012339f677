#include "sim/robot_model.h"

namespace sim {

Mat3 headOrientation(const double* head)
{
    return rotX(-deg2rad(head[0])) * rotZ(deg2rad(head[1])) * rotY(deg2rad(head[2]));
}

Pose leftEyePose(const double* head)
{
    const Mat3 neck = headOrientation(head);
    const double pan = head[4] - 0.5 * head[5];
    Pose pose;
    pose.position = body::kNeckPivot + neck * body::kLeftEyeOffset;
    pose.orientation = neck * rotX(-deg2rad(head[3])) * rotY(deg2rad(pan));
    return pose;
}

Vec3 inertialSensorPosition(const double* head)
{
    return body::kNeckPivot + headOrientation(head) * body::kInertialOffset;
}

Vec3 handPosition(const double* arm, Side side)
{
    // Each link hangs along -y of its frame when its joints are at zero. Shoulder pitch
    // (negative lifts the arm forward), roll (positive moves it away from the body) and
    // yaw (about the upper arm); elbow flexion bends the forearm forward; prosupination
    // turns about the forearm; wrist pitch and yaw swing the palm.
    const Vec3 down{0.0, -1.0, 0.0};
    Mat3 r = rotX(deg2rad(arm[0])) * rotZ(deg2rad(arm[1])) * rotY(deg2rad(arm[2]));
    Vec3 p = r * (down * body::kUpperArm);
    r = r * rotX(-deg2rad(arm[3])) * rotY(deg2rad(arm[4]));
    p += r * (down * body::kForearm);
    r = r * rotX(-deg2rad(arm[5])) * rotZ(deg2rad(arm[6]));
    p += r * (down * body::kHand);
    const Vec3 left = body::kLeftShoulder + p;
    // The right arm is the mirror image of the left one through the mid-plane x = 0.
    return side == Side::Left ? left : Vec3{-left.x, left.y, left.z};
}

} // namespace sim
