#pragma once
#include <yarp/dev/IEncoders.h>

namespace yarp::dev {

/// Encoder readings with the time each was taken (seconds, same clock as yarp::os::Time).
class IEncodersTimed : public IEncoders {
public:
    virtual bool getEncodersTimed(double* encs, double* time) = 0;
    virtual bool getEncoderTimed(int j, double* encs, double* time) = 0;
};

} // namespace yarp::dev
