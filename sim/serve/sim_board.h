#pragma once
// Device "sim_board": one simulated joint board offered through YARP's control-board
// interfaces, served by robot_sim through controlBoard_nws_yarp.
#include <string>

#include "sim/model/joint_board.h"
#include "sim/serve/board_device.h"

namespace sim {

/**
 * Forwards each call to a JointBoard and translates control modes (VOCAB_CM_IDLE,
 * VOCAB_CM_POSITION, VOCAB_CM_VELOCITY; others are refused).
 *
 * Opened through the driver factory ("device" "sim_board"), the device serves the joint
 * board offered under the configuration's "board" (or, when absent, "name", so that one
 * deviceBundler configuration names both the wrapper's ports and the board):
 *
 *     SimBoard::registerDevice();
 *     SimBoard::offer("/icubSim/head", simulation.head());
 *     // device deviceBundler, wrapper_device controlBoard_nws_yarp,
 *     // attached_device sim_board, name /icubSim/head
 *     ...                                   // close the devices, then:
 *     SimBoard::withdraw("/icubSim/head");
 */
class SimBoard : public BoardDevice {
public:
    static constexpr const char* kDeviceName = "sim_board";

    /// Adds "sim_board" to the driver factory; later calls do nothing.
    static void registerDevice();
    /// Makes `board` available to sim_board devices opened with `name`. False when the
    /// name is offered already. The board must outlive every device opened on it.
    static bool offer(const std::string& name, JointBoard& board);
    static void withdraw(const std::string& name);

    SimBoard() = default;
    /// A device bound to `board` at once, without open().
    explicit SimBoard(JointBoard& board) : board_(&board) {}

    bool open(yarp::os::Searchable& config) override;
    bool close() override;

    int axes() const override { return board_ ? static_cast<int>(board_->axes()) : 0; }
    bool getEncoders(double* encs) override;
    bool getEncoderSpeeds(double* speeds) override;
    bool positionMove(int j, double ref) override;
    bool positionMove(const double* refs) override;
    bool setRefSpeeds(const double* speeds) override;
    bool setRefAccelerations(const double* accs) override;
    bool checkMotionDone(bool* done) override;
    bool stop() override;
    bool velocityMove(int j, double speed) override;
    bool velocityMove(const double* speeds) override;
    bool getControlMode(int j, int* mode) override;
    /// False for a mode other than idle, position and velocity.
    bool setControlMode(const int j, const int mode) override;

    bool checkMotionDone(int j, bool* done) override;
    bool setRefSpeed(int j, double speed) override;
    bool setRefAcceleration(int j, double acc) override;
    bool getRefSpeed(int j, double* speed) override;
    bool getRefAcceleration(int j, double* acc) override;
    bool stop(int j) override;
    bool getTargetPosition(const int j, double* ref) override;
    using BoardDevice::checkMotionDone;
    using BoardDevice::positionMove;
    using BoardDevice::stop;
    using BoardDevice::velocityMove;

private:
    // Writes one field of every joint's state to `out` (axes() values).
    bool copyStates(double JointState::*field, double* out) const;

    JointBoard* board_ = nullptr;
};

} // namespace sim
