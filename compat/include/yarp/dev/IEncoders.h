#pragma once

namespace yarp::dev {

/// Joint position readings of a control board. Every call returns true on success.
class IEncoders {
public:
    virtual ~IEncoders() = default;
    virtual bool getAxes(int* ax) = 0;
    /// Writes one reading per axis (getAxes() values).
    virtual bool getEncoders(double* encs) = 0;
    virtual bool getEncoder(int j, double* v) = 0;
    virtual bool getEncoderSpeeds(double* spds) = 0;
};

} // namespace yarp::dev
