#pragma once
// Small 3-D vector and rotation types for the simulator's kinematics and renderer.
// World frame: x toward the robot's left, y up, z forward (right-handed); metres.
#include <cmath>

namespace sim {

constexpr double kPi = 3.14159265358979323846;

inline double deg2rad(double deg) { return deg * kPi / 180.0; }
inline double rad2deg(double rad) { return rad * 180.0 / kPi; }

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr Vec3() = default;
    constexpr Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator-() const { return {-x, -y, -z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    Vec3& operator+=(const Vec3& o)
    {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    double dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec3 cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double norm() const { return std::sqrt(dot(*this)); }
    Vec3 normalized() const
    {
        const double n = norm();
        return n > 0.0 ? *this * (1.0 / n) : Vec3{};
    }
};

/// Rotation matrix, row-major. Columns are the rotated frame's axes in the parent frame.
struct Mat3 {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    static Mat3 identity() { return Mat3{}; }

    Vec3 operator*(const Vec3& v) const
    {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
                m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    Mat3 operator*(const Mat3& o) const
    {
        Mat3 r;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                r.m[i][j] = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j];
            }
        }
        return r;
    }
    Mat3 transposed() const
    {
        Mat3 r;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                r.m[i][j] = m[j][i];
            }
        }
        return r;
    }
    /// Expresses a parent-frame vector in this frame (inverse rotation).
    Vec3 inverseApply(const Vec3& v) const
    {
        return {m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z,
                m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
                m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z};
    }
    Vec3 column(int j) const { return {m[0][j], m[1][j], m[2][j]}; }
};

/// Right-handed rotation by `rad` in the plane of axes i and j, turning +i toward +j.
inline Mat3 planeRotation(int i, int j, double rad)
{
    const double c = std::cos(rad), s = std::sin(rad);
    Mat3 r;
    r.m[i][i] = c;
    r.m[i][j] = -s;
    r.m[j][i] = s;
    r.m[j][j] = c;
    return r;
}

/// Right-handed rotation about +x by `rad` (a positive angle turns +z toward -y).
inline Mat3 rotX(double rad) { return planeRotation(1, 2, rad); }

/// Right-handed rotation about +y by `rad` (a positive angle turns +z toward +x, the robot's left).
inline Mat3 rotY(double rad) { return planeRotation(2, 0, rad); }

/// Right-handed rotation about +z by `rad` (a positive angle turns +x toward +y).
inline Mat3 rotZ(double rad) { return planeRotation(0, 1, rad); }

/// Right-handed rotation by `rad` about the unit vector `axis`.
inline Mat3 rotAbout(const Vec3& axis, double rad)
{
    const double c = std::cos(rad), s = std::sin(rad), k = 1.0 - c;
    const double x = axis.x, y = axis.y, z = axis.z;
    Mat3 r;
    r.m[0][0] = c + x * x * k;
    r.m[0][1] = x * y * k - z * s;
    r.m[0][2] = x * z * k + y * s;
    r.m[1][0] = y * x * k + z * s;
    r.m[1][1] = c + y * y * k;
    r.m[1][2] = y * z * k - x * s;
    r.m[2][0] = z * x * k - y * s;
    r.m[2][1] = z * y * k + x * s;
    r.m[2][2] = c + z * z * k;
    return r;
}

} // namespace sim
