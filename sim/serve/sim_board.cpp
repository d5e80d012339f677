#include "sim/serve/sim_board.h"

#include <cstdio>
#include <map>
#include <mutex>

#include <yarp/dev/Drivers.h>
#include <yarp/dev/IControlMode.h>
#include <yarp/os/Value.h>

namespace sim {

namespace {

/// Joint boards offered to sim_board devices, by name.
struct Offers {
    std::mutex mutex;
    std::map<std::string, JointBoard*> boards;
};

Offers& offers()
{
    static Offers o;
    return o;
}

} // namespace

void SimBoard::registerDevice()
{
    static std::once_flag once;
    std::call_once(once, [] {
        yarp::dev::Drivers::factory().add(new yarp::dev::DriverCreatorOf<SimBoard>(kDeviceName, "", "SimBoard"));
    });
}

bool SimBoard::offer(const std::string& name, JointBoard& board)
{
    std::lock_guard<std::mutex> lock(offers().mutex);
    return offers().boards.emplace(name, &board).second;
}

void SimBoard::withdraw(const std::string& name)
{
    std::lock_guard<std::mutex> lock(offers().mutex);
    offers().boards.erase(name);
}

bool SimBoard::open(yarp::os::Searchable& config)
{
    const std::string name =
        config.check("board") ? config.find("board").asString() : config.find("name").asString();
    std::lock_guard<std::mutex> lock(offers().mutex);
    const auto found = offers().boards.find(name);
    if (found == offers().boards.end()) {
        std::fprintf(stderr, "sim_board: no simulated joint board is offered as \"%s\"\n", name.c_str());
        return false;
    }
    board_ = found->second;
    return true;
}

bool SimBoard::close()
{
    board_ = nullptr;
    return true;
}

bool SimBoard::copyStates(double JointState::*field, double* out) const
{
    if (!board_ || !out) {
        return false;
    }
    const std::vector<JointState> s = board_->states();
    for (std::size_t j = 0; j < s.size(); ++j) {
        out[j] = s[j].*field;
    }
    return true;
}

bool SimBoard::getEncoders(double* encs) { return copyStates(&JointState::position, encs); }
bool SimBoard::getEncoderSpeeds(double* speeds) { return copyStates(&JointState::velocity, speeds); }

bool SimBoard::positionMove(int j, double ref) { return validJoint(j) && board_->positionMove(j, ref); }
bool SimBoard::positionMove(const double* refs) { return board_ && refs && board_->positionMove(refs); }
bool SimBoard::setRefSpeeds(const double* speeds) { return board_ && speeds && board_->setRefSpeeds(speeds); }
bool SimBoard::setRefAccelerations(const double* accs) { return board_ && accs && board_->setRefAccelerations(accs); }
bool SimBoard::checkMotionDone(bool* done) { return board_ && done && board_->checkMotionDone(done); }
bool SimBoard::stop() { return board_ && board_->stop(); }
bool SimBoard::velocityMove(int j, double speed) { return validJoint(j) && board_->velocityMove(j, speed); }
bool SimBoard::velocityMove(const double* speeds) { return board_ && speeds && board_->velocityMove(speeds); }
bool SimBoard::checkMotionDone(int j, bool* done) { return validJoint(j) && done && board_->checkMotionDone(j, done); }
bool SimBoard::setRefSpeed(int j, double speed) { return validJoint(j) && board_->setRefSpeed(j, speed); }
bool SimBoard::setRefAcceleration(int j, double acc) { return validJoint(j) && board_->setRefAcceleration(j, acc); }
bool SimBoard::getRefSpeed(int j, double* speed) { return validJoint(j) && speed && board_->getRefSpeed(j, speed); }
bool SimBoard::getRefAcceleration(int j, double* acc) { return validJoint(j) && acc && board_->getRefAcceleration(j, acc); }
bool SimBoard::stop(int j) { return validJoint(j) && board_->stop(j); }
bool SimBoard::getTargetPosition(const int j, double* ref) { return validJoint(j) && ref && board_->getTarget(j, ref); }

bool SimBoard::getControlMode(int j, int* mode)
{
    ControlMode m = ControlMode::Position;
    if (!validJoint(j) || !mode || !board_->getControlMode(j, &m)) {
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

bool SimBoard::setControlMode(const int j, const int mode)
{
    if (!validJoint(j)) {
        return false;
    }
    switch (mode) {
    case VOCAB_CM_IDLE:
        return board_->setControlMode(j, ControlMode::Idle);
    case VOCAB_CM_POSITION:
        return board_->setControlMode(j, ControlMode::Position);
    case VOCAB_CM_VELOCITY:
        return board_->setControlMode(j, ControlMode::Velocity);
    default:
        return false;
    }
}

} // namespace sim
