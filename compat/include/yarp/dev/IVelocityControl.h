#pragma once

namespace yarp::dev {

/// Velocity control of a control board. Arrays hold one value per axis; the group forms
/// (n_joint, joints) one value per listed joint. Calls with a default body are not offered
/// (return false) unless a device overrides them.
class IVelocityControl {
public:
    virtual ~IVelocityControl() = default;
    virtual bool getAxes(int* axes) = 0;
    virtual bool velocityMove(int j, double sp) = 0;
    virtual bool velocityMove(const double* sp) = 0;
    virtual bool stop() = 0;

    virtual bool setRefAcceleration(int /*j*/, double /*acc*/) { return false; }
    virtual bool setRefAccelerations(const double* /*accs*/) { return false; }
    virtual bool getRefAcceleration(int /*j*/, double* /*acc*/) { return false; }
    virtual bool getRefAccelerations(double* /*accs*/) { return false; }
    virtual bool stop(int /*j*/) { return false; }
    virtual bool velocityMove(const int /*n_joint*/, const int* /*joints*/, const double* /*spds*/) { return false; }
    virtual bool getRefVelocity(const int /*joint*/, double* /*vel*/) { return false; }
    virtual bool getRefVelocities(double* /*vels*/) { return false; }
    virtual bool getRefVelocities(const int /*n_joint*/, const int* /*joints*/, double* /*vels*/) { return false; }
    virtual bool setRefAccelerations(const int /*n_joint*/, const int* /*joints*/, const double* /*accs*/)
    {
        return false;
    }
    virtual bool getRefAccelerations(const int /*n_joint*/, const int* /*joints*/, double* /*accs*/) { return false; }
    virtual bool stop(const int /*n_joint*/, const int* /*joints*/) { return false; }
};

} // namespace yarp::dev
