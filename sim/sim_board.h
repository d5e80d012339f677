#pragma once
// A simulated joint board offered to the control-board server of the bundled port layer.
#include <compat/control_board_server.h>

#include "sim/joint_board.h"

namespace sim {

/// Forwards each remote call to a JointBoard and translates control modes.
class SimBoard : public compat::ControlBoard {
public:
    explicit SimBoard(JointBoard& board) : board_(board) {}

    int axes() const override { return static_cast<int>(board_.axes()); }
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
    bool setControlMode(int j, int mode) override;

private:
    JointBoard& board_;
};

} // namespace sim
