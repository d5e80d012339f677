#pragma once
// Device "controlBoard_nws_yarp": serves the control board attached to it under "name"
// (port "<name>/rpc:i") to remote_controlboard clients.
#include <yarp/dev/DeviceDriver.h>
#include <yarp/dev/WrapperSingle.h>

#include <memory>

namespace yarp::dev::impl {

/**
 * Configuration: "name" (required, the board's name, e.g. "/icubSim/head"); "period"
 * (seconds, optional, must be positive) is accepted for compatibility: the bundled board
 * protocol has no streams, every reading is answered from the device when asked.
 *
 * The port is opened by open(); calls made before attach() (or after detach()) fail. The
 * attached device must offer IEncodersTimed, IPositionControl, IVelocityControl or
 * IControlMode (each one it lacks makes the matching calls fail) and at least one axis.
 * Calls reach the device one at a time, on the port's connection threads: a device shared
 * with other threads guards its own state. Joint numbers and array lengths are checked
 * before a call reaches the device.
 */
class ControlBoardNws : public DeviceDriver, public WrapperSingle {
public:
    ControlBoardNws();
    ~ControlBoardNws() override;

    bool open(yarp::os::Searchable& config) override;
    bool close() override;
    bool attach(PolyDriver* driver) override;
    bool detach() override;

private:
    struct Private;
    std::unique_ptr<Private> p_;
};

} // namespace yarp::dev::impl
