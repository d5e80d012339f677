#pragma once
// Client of a control board served by another process (device "remote_controlboard").
#include "dev/control_board_protocol.h"

#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/DeviceDriver.h>
#include <yarp/os/Port.h>

#include <mutex>
#include <string>

namespace yarp::dev::impl {

/**
 * Every call is one request/reply exchange with the board's server, bounded by
 * `callTimeoutSeconds`; a board that has gone away makes calls return false, and a board
 * served again under the same name is reconnected on the next call.
 */
class RemoteControlBoard : public DeviceDriver,
                           public IEncoders,
                           public IPositionControl,
                           public IVelocityControl,
                           public IControlMode {
public:
    static constexpr float callTimeoutSeconds = 2.0f;

    bool open(yarp::os::Searchable& config) override;
    bool close() override;

    bool getAxes(int* ax) override;
    bool getEncoders(double* encs) override;
    bool getEncoder(int j, double* v) override;
    bool getEncoderSpeeds(double* spds) override;
    bool positionMove(const double* refs) override;
    bool positionMove(int j, double ref) override;
    bool setRefSpeeds(const double* spds) override;
    bool setRefAccelerations(const double* accs) override;
    bool checkMotionDone(bool* flag) override;
    bool stop() override;
    bool velocityMove(const double* sp) override;
    bool velocityMove(int j, double sp) override;
    bool getControlMode(int j, int* mode) override;
    bool getControlModes(int* modes) override;
    bool setControlMode(const int j, const int mode) override;
    bool setControlModes(int* modes) override;

private:
    /// One exchange; true when the board did it and answered with `expected` values
    /// (-1: any number).
    bool call(BoardCommand command, int joint, const double* in, int inCount, BoardMessage& reply, int expected);
    bool command(BoardCommand command, int joint = -1, const double* in = nullptr, int inCount = 0);
    bool fetch(BoardCommand command, int joint, double* out, int count);
    bool ensureConnected();

    yarp::os::Port port_;
    std::string localName_;
    std::string remoteName_;
    int axes_ = 0;
    std::mutex reconnectMutex_;
};

} // namespace yarp::dev::impl
