#pragma once
// Control-board devices built on YARP's device API, the same source on the bundled layer
// and on an installed YARP: BoardDevice implements the motor interfaces a control board
// offers from a few calls of its subclass, and BoardServer serves any such device to
// remote_controlboard clients through the controlBoard_nws_yarp network wrapper.
#include <string>

#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/DeviceDriver.h>
#include <yarp/dev/IEncodersTimed.h>
#include <yarp/dev/IWrapper.h>
#include <yarp/dev/PolyDriver.h>

namespace sim {

/**
 * A control board as a device: IEncodersTimed, IPositionControl, IVelocityControl and
 * IControlMode. A subclass supplies the number of axes and the calls declared pure below;
 * every other call is built from those (per-joint and group forms check every joint
 * number first and refuse the call, changing nothing, when one is out of range). Calls
 * that a board cannot honour (resetting encoders, relative moves, accelerations of the
 * encoders) return false.
 *
 * Calls come from the network wrapper's threads, never on the thread that opened it:
 * a subclass shared with other threads guards its own state.
 */
class BoardDevice : public yarp::dev::DeviceDriver,
                    public yarp::dev::IEncodersTimed,
                    public yarp::dev::IPositionControl,
                    public yarp::dev::IVelocityControl,
                    public yarp::dev::IControlMode {
public:
    /// Number of axes; must not change while the device is served.
    virtual int axes() const = 0;

    // What a subclass implements. Arrays hold axes() values.
    bool getEncoders(double* encs) override = 0;
    bool getEncoderSpeeds(double* spds) override = 0;
    bool positionMove(int j, double ref) override = 0;
    bool positionMove(const double* refs) override = 0;
    bool setRefSpeeds(const double* spds) override = 0;
    bool setRefAccelerations(const double* accs) override = 0;
    bool checkMotionDone(bool* flag) override = 0;
    bool stop() override = 0;
    bool velocityMove(int j, double sp) override = 0;
    bool velocityMove(const double* sp) override = 0;
    bool getControlMode(int j, int* mode) override = 0;
    bool setControlMode(const int j, const int mode) override = 0;

    // Per-joint calls a subclass may offer (by default refused).
    bool checkMotionDone(int j, bool* flag) override;
    bool setRefSpeed(int j, double sp) override;
    bool setRefAcceleration(int j, double acc) override;
    bool getRefSpeed(int j, double* ref) override;
    bool getRefAcceleration(int j, double* acc) override;
    bool stop(int j) override;

    // Built from the calls above.
    bool getAxes(int* ax) override;
    bool getEncoder(int j, double* v) override;
    bool getEncoderSpeed(int j, double* sp) override;
    bool getEncodersTimed(double* encs, double* time) override;
    bool getEncoderTimed(int j, double* enc, double* time) override;
    bool getRefSpeeds(double* spds) override;
    bool getRefAccelerations(double* accs) override;
    bool positionMove(const int n_joint, const int* joints, const double* refs) override;
    bool checkMotionDone(const int n_joint, const int* joints, bool* flag) override;
    bool setRefSpeeds(const int n_joint, const int* joints, const double* spds) override;
    bool setRefAccelerations(const int n_joint, const int* joints, const double* accs) override;
    bool getRefSpeeds(const int n_joint, const int* joints, double* spds) override;
    bool getRefAccelerations(const int n_joint, const int* joints, double* accs) override;
    bool stop(const int n_joint, const int* joints) override;
    bool velocityMove(const int n_joint, const int* joints, const double* spds) override;
    bool getControlModes(int* modes) override;
    bool getControlModes(const int n_joint, const int* joints, int* modes) override;
    bool setControlModes(int* modes) override;
    bool setControlModes(const int n_joint, const int* joints, int* modes) override;

    // Refused: a board's encoders cannot be reset, nor its moves be relative.
    bool getEncoderAcceleration(int j, double* acc) override;
    bool getEncoderAccelerations(double* accs) override;
    bool resetEncoder(int j) override;
    bool resetEncoders() override;
    bool setEncoder(int j, double val) override;
    bool setEncoders(const double* vals) override;
    bool relativeMove(int j, double delta) override;
    bool relativeMove(const double* deltas) override;
    bool relativeMove(const int n_joint, const int* joints, const double* deltas) override;

protected:
    /// Seconds since the epoch: the clock YARP stamps readings with.
    static double wallClockSeconds();
    bool validJoint(int j) const { return j >= 0 && j < axes(); }
    /// True when `joints` holds n_joint valid joint numbers.
    bool validJoints(int n_joint, const int* joints) const;
};

/**
 * Serves a control-board device under a board name, e.g. "/icubSim/head": opens
 * controlBoard_nws_yarp with that "name" and attaches the device to it. Clients open
 * remote_controlboard with "remote" set to the same name.
 */
class BoardServer {
public:
    BoardServer() = default;
    BoardServer(const BoardServer&) = delete;
    BoardServer& operator=(const BoardServer&) = delete;
    ~BoardServer() { close(); }

    /// Starts serving `device` (which must stay open until close()). False, with a
    /// diagnostic line from the layer, when the name is invalid or already served.
    bool open(const std::string& name, yarp::dev::DeviceDriver& device);
    /// Stops serving; clients' calls fail from then on. Idempotent.
    void close();
    bool isOpen() const { return wrapper_.isValid(); }

    /// The port a client's requests go to.
    static std::string rpcPortName(const std::string& name) { return name + "/rpc:i"; }

private:
    yarp::dev::PolyDriver device_; // holds the caller's device without owning it
    yarp::dev::PolyDriver wrapper_;
    yarp::dev::IWrapper* attachedTo_ = nullptr;
};

} // namespace sim
