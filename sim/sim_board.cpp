#include "sim/sim_board.h"

#include <yarp/dev/IControlMode.h>

namespace sim {

namespace {
bool validAxis(const JointBoard& b, int j) { return j >= 0 && static_cast<std::size_t>(j) < b.axes(); }
} // namespace

bool SimBoard::getEncoders(double* encs)
{
    const std::vector<JointState> s = board_.states();
    for (std::size_t j = 0; j < s.size(); ++j) {
        encs[j] = s[j].position;
    }
    return true;
}

bool SimBoard::getEncoderSpeeds(double* speeds)
{
    const std::vector<JointState> s = board_.states();
    for (std::size_t j = 0; j < s.size(); ++j) {
        speeds[j] = s[j].velocity;
    }
    return true;
}

bool SimBoard::positionMove(int j, double ref) { return validAxis(board_, j) && board_.positionMove(j, ref); }
bool SimBoard::positionMove(const double* refs) { return board_.positionMove(refs); }
bool SimBoard::setRefSpeeds(const double* speeds) { return board_.setRefSpeeds(speeds); }
bool SimBoard::setRefAccelerations(const double* accs) { return board_.setRefAccelerations(accs); }
bool SimBoard::checkMotionDone(bool* done) { return board_.checkMotionDone(done); }
bool SimBoard::stop() { return board_.stop(); }
bool SimBoard::velocityMove(int j, double speed) { return validAxis(board_, j) && board_.velocityMove(j, speed); }
bool SimBoard::velocityMove(const double* speeds) { return board_.velocityMove(speeds); }

bool SimBoard::getControlMode(int j, int* mode)
{
    ControlMode m = ControlMode::Position;
    if (!validAxis(board_, j) || !board_.getControlMode(j, &m)) {
        return false;
    }
    switch (m) {
    case ControlMode::Idle:
        *mode = VOCAB_CM_IDLE;
        break;
    case ControlMode::Position:
        *mode = VOCAB_CM_POSITION;
        break;
    case ControlMode::Velocity:
        *mode = VOCAB_CM_VELOCITY;
        break;
    }
    return true;
}

bool SimBoard::setControlMode(int j, int mode)
{
    if (!validAxis(board_, j)) {
        return false;
    }
    switch (mode) {
    case VOCAB_CM_IDLE:
        return board_.setControlMode(j, ControlMode::Idle);
    case VOCAB_CM_POSITION:
        return board_.setControlMode(j, ControlMode::Position);
    case VOCAB_CM_VELOCITY:
        return board_.setControlMode(j, ControlMode::Velocity);
    default:
        return false;
    }
}

} // namespace sim
