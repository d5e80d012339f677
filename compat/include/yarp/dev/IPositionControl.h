#pragma once

namespace yarp::dev {

/// Position control of a control board. Arrays hold one value per axis.
class IPositionControl {
public:
    virtual ~IPositionControl() = default;
    virtual bool getAxes(int* ax) = 0;
    virtual bool positionMove(const double* refs) = 0;
    virtual bool positionMove(int j, double ref) = 0;
    virtual bool setRefSpeeds(const double* spds) = 0;
    virtual bool setRefAccelerations(const double* accs) = 0;
    virtual bool checkMotionDone(bool* flag) = 0;
    virtual bool stop() = 0;
};

} // namespace yarp::dev
