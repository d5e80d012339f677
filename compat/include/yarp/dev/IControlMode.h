#pragma once
#include <yarp/conf/numeric.h>
#include <yarp/os/Vocab.h>

/// Control modes of a joint. Boards start in position mode; a velocity command to a joint
/// not in velocity mode (or a position command to one not in position mode) is ignored,
/// though the call returns true.
constexpr yarp::conf::vocab32_t VOCAB_CM_IDLE = yarp::os::createVocab32('i', 'd', 'l');
constexpr yarp::conf::vocab32_t VOCAB_CM_POSITION = yarp::os::createVocab32('p', 'o', 's');
constexpr yarp::conf::vocab32_t VOCAB_CM_VELOCITY = yarp::os::createVocab32('v', 'e', 'l');

namespace yarp::dev {

class IControlMode {
public:
    virtual ~IControlMode() = default;
    virtual bool getControlMode(int j, int* mode) = 0;
    /// One mode per axis.
    virtual bool getControlModes(int* modes) = 0;
    virtual bool setControlMode(const int j, const int mode) = 0;
    virtual bool setControlModes(int* modes) = 0;
    /// Group forms: one mode per listed joint (not offered by the bundled client).
    virtual bool getControlModes(const int /*n_joint*/, const int* /*joints*/, int* /*modes*/) { return false; }
    virtual bool setControlModes(const int /*n_joint*/, const int* /*joints*/, int* /*modes*/) { return false; }
};

} // namespace yarp::dev
