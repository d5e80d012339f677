#pragma once

namespace yarp::dev {

/// Velocity control of a control board. Arrays hold one value per axis.
class IVelocityControl {
public:
    virtual ~IVelocityControl() = default;
    virtual bool getAxes(int* ax) = 0;
    virtual bool velocityMove(const double* sp) = 0;
    virtual bool velocityMove(int j, double sp) = 0;
    virtual bool stop() = 0;
};

} // namespace yarp::dev
