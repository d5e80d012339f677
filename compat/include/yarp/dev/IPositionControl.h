#pragma once

namespace yarp::dev {

/// Position control of a control board. Arrays hold one value per axis; the group forms
/// (n_joint, joints) one value per listed joint. Calls with a default body are not offered
/// (return false) unless a device overrides them.
class IPositionControl {
public:
    virtual ~IPositionControl() = default;
    virtual bool getAxes(int* ax) = 0;
    virtual bool positionMove(int j, double ref) = 0;
    virtual bool positionMove(const double* refs) = 0;
    virtual bool setRefSpeeds(const double* spds) = 0;
    virtual bool setRefAccelerations(const double* accs) = 0;
    virtual bool checkMotionDone(bool* flag) = 0;
    virtual bool stop() = 0;

    virtual bool relativeMove(int /*j*/, double /*delta*/) { return false; }
    virtual bool relativeMove(const double* /*deltas*/) { return false; }
    virtual bool checkMotionDone(int /*j*/, bool* /*flag*/) { return false; }
    virtual bool setRefSpeed(int /*j*/, double /*sp*/) { return false; }
    virtual bool setRefAcceleration(int /*j*/, double /*acc*/) { return false; }
    virtual bool getRefSpeed(int /*j*/, double* /*ref*/) { return false; }
    virtual bool getRefSpeeds(double* /*spds*/) { return false; }
    virtual bool getRefAcceleration(int /*j*/, double* /*acc*/) { return false; }
    virtual bool getRefAccelerations(double* /*accs*/) { return false; }
    virtual bool stop(int /*j*/) { return false; }
    virtual bool positionMove(const int /*n_joint*/, const int* /*joints*/, const double* /*refs*/) { return false; }
    virtual bool relativeMove(const int /*n_joint*/, const int* /*joints*/, const double* /*deltas*/) { return false; }
    virtual bool checkMotionDone(const int /*n_joint*/, const int* /*joints*/, bool* /*flag*/) { return false; }
    virtual bool setRefSpeeds(const int /*n_joint*/, const int* /*joints*/, const double* /*spds*/) { return false; }
    virtual bool setRefAccelerations(const int /*n_joint*/, const int* /*joints*/, const double* /*accs*/)
    {
        return false;
    }
    virtual bool getRefSpeeds(const int /*n_joint*/, const int* /*joints*/, double* /*spds*/) { return false; }
    virtual bool getRefAccelerations(const int /*n_joint*/, const int* /*joints*/, double* /*accs*/) { return false; }
    virtual bool stop(const int /*n_joint*/, const int* /*joints*/) { return false; }
    virtual bool getTargetPosition(const int /*joint*/, double* /*ref*/) { return false; }
    virtual bool getTargetPositions(double* /*refs*/) { return false; }
    virtual bool getTargetPositions(const int /*n_joint*/, const int* /*joints*/, double* /*refs*/) { return false; }
};

} // namespace yarp::dev
