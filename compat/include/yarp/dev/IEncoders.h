#pragma once

namespace yarp::dev {

/// Joint position readings of a control board. Every call returns true on success. Calls
/// with a default body are not offered (return false) unless a device overrides them.
class IEncoders {
public:
    virtual ~IEncoders() = default;
    virtual bool getAxes(int* ax) = 0;
    /// Writes one reading per axis (getAxes() values).
    virtual bool getEncoders(double* encs) = 0;
    virtual bool getEncoder(int j, double* v) = 0;
    virtual bool getEncoderSpeeds(double* spds) = 0;
    virtual bool getEncoderSpeed(int /*j*/, double* /*sp*/) { return false; }
    virtual bool getEncoderAcceleration(int /*j*/, double* /*spds*/) { return false; }
    virtual bool getEncoderAccelerations(double* /*accs*/) { return false; }
    virtual bool resetEncoder(int /*j*/) { return false; }
    virtual bool resetEncoders() { return false; }
    virtual bool setEncoder(int /*j*/, double /*val*/) { return false; }
    virtual bool setEncoders(const double* /*vals*/) { return false; }
};

} // namespace yarp::dev
