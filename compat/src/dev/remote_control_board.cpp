#include "dev/remote_control_board.h"

#include <yarp/os/Network.h>
#include <yarp/os/Value.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace yarp::dev::impl {

namespace {

std::string rpcServerName(const std::string& board)
{
    return board + "/rpc:i";
}

} // namespace

bool RemoteControlBoard::open(yarp::os::Searchable& config)
{
    close();
    const std::string local = config.find("local").asString();
    const std::string remote = config.find("remote").asString();
    if (local.empty() || remote.empty()) {
        std::fprintf(stderr, "remote_controlboard: the configuration needs \"local\" and \"remote\" port names\n");
        return false;
    }
    if (!yarp::os::NetworkBase::exists(rpcServerName(remote))) {
        std::fprintf(stderr, "remote_controlboard: no control board is served as %s\n", remote.c_str());
        return false;
    }
    if (!port_.open(local + "/rpc:o")) {
        return false; // the port printed why
    }
    port_.setTimeout(callTimeoutSeconds);
    localName_ = local;
    remoteName_ = remote;
    BoardMessage reply(boardReplyTag);
    if (!yarp::os::NetworkBase::connect(port_.getName(), rpcServerName(remote))
        || !call(BoardCommand::GetAxes, -1, nullptr, 0, reply, 1) || reply.values[0] < 0
        || reply.values[0] > maxBoardValues) {
        std::fprintf(stderr, "remote_controlboard: the control board %s does not answer\n", remote.c_str());
        port_.close();
        return false;
    }
    axes_ = static_cast<int>(reply.values[0]);
    return true;
}

bool RemoteControlBoard::close()
{
    port_.close();
    axes_ = 0;
    return true;
}

bool RemoteControlBoard::ensureConnected()
{
    if (port_.getOutputCount() > 0) {
        return true;
    }
    // The board went away; if it is served again, pick it up.
    std::lock_guard<std::mutex> lock(reconnectMutex_);
    return port_.getOutputCount() > 0
        || yarp::os::NetworkBase::connect(port_.getName(), rpcServerName(remoteName_));
}

bool RemoteControlBoard::call(BoardCommand cmd, int joint, const double* in, int inCount, BoardMessage& reply,
                              int expected)
{
    if (!port_.isOpen() || (inCount > 0 && !in) || !ensureConnected()) {
        return false;
    }
    BoardMessage request(boardRequestTag);
    request.code = static_cast<std::int32_t>(cmd);
    request.joint = joint;
    if (inCount > 0) {
        request.values.assign(in, in + inCount);
    }
    return port_.write(request, reply) && reply.code == 1
        && (expected < 0 || reply.values.size() == static_cast<std::size_t>(expected));
}

bool RemoteControlBoard::command(BoardCommand cmd, int joint, const double* in, int inCount)
{
    BoardMessage reply(boardReplyTag);
    return call(cmd, joint, in, inCount, reply, -1);
}

bool RemoteControlBoard::fetch(BoardCommand cmd, int joint, double* out, int count)
{
    if (!out) {
        return false;
    }
    BoardMessage reply(boardReplyTag);
    if (!call(cmd, joint, nullptr, 0, reply, count)) {
        return false; // the caller's buffer is left as it was
    }
    for (int i = 0; i < count; ++i) {
        out[i] = reply.values[static_cast<std::size_t>(i)];
    }
    return true;
}

bool RemoteControlBoard::getAxes(int* ax)
{
    double n = 0;
    if (!ax || !fetch(BoardCommand::GetAxes, -1, &n, 1)) {
        return false;
    }
    *ax = static_cast<int>(n);
    return true;
}

bool RemoteControlBoard::getEncoders(double* encs)
{
    return fetch(BoardCommand::GetEncoders, -1, encs, axes_);
}

bool RemoteControlBoard::getEncoder(int j, double* v)
{
    return fetch(BoardCommand::GetEncoder, j, v, 1);
}

bool RemoteControlBoard::getEncoderSpeeds(double* spds)
{
    return fetch(BoardCommand::GetEncoderSpeeds, -1, spds, axes_);
}

bool RemoteControlBoard::positionMove(const double* refs)
{
    return refs && command(BoardCommand::PositionMoveAll, -1, refs, axes_);
}

bool RemoteControlBoard::positionMove(int j, double ref)
{
    return command(BoardCommand::PositionMoveOne, j, &ref, 1);
}

bool RemoteControlBoard::setRefSpeeds(const double* spds)
{
    return spds && command(BoardCommand::SetRefSpeeds, -1, spds, axes_);
}

bool RemoteControlBoard::setRefAccelerations(const double* accs)
{
    return accs && command(BoardCommand::SetRefAccelerations, -1, accs, axes_);
}

bool RemoteControlBoard::checkMotionDone(bool* flag)
{
    double done = 0;
    if (!flag || !fetch(BoardCommand::CheckMotionDone, -1, &done, 1)) {
        return false;
    }
    *flag = done != 0.0;
    return true;
}

bool RemoteControlBoard::stop()
{
    return command(BoardCommand::Stop);
}

bool RemoteControlBoard::velocityMove(const double* sp)
{
    return sp && command(BoardCommand::VelocityMoveAll, -1, sp, axes_);
}

bool RemoteControlBoard::velocityMove(int j, double sp)
{
    return command(BoardCommand::VelocityMoveOne, j, &sp, 1);
}

bool RemoteControlBoard::getControlMode(int j, int* mode)
{
    double m = 0;
    if (!mode || !fetch(BoardCommand::GetControlMode, j, &m, 1)) {
        return false;
    }
    *mode = static_cast<int>(m);
    return true;
}

bool RemoteControlBoard::getControlModes(int* modes)
{
    std::vector<double> m(static_cast<std::size_t>(axes_));
    if (!modes || !fetch(BoardCommand::GetControlModes, -1, m.data(), axes_)) {
        return false;
    }
    for (int i = 0; i < axes_; ++i) {
        modes[i] = static_cast<int>(m[static_cast<std::size_t>(i)]);
    }
    return true;
}

bool RemoteControlBoard::setControlMode(const int j, const int mode)
{
    const double m = mode;
    return command(BoardCommand::SetControlMode, j, &m, 1);
}

bool RemoteControlBoard::setControlModes(int* modes)
{
    if (!modes) {
        return false;
    }
    const std::vector<double> m(modes, modes + axes_);
    return command(BoardCommand::SetControlModes, -1, m.data(), axes_);
}

} // namespace yarp::dev::impl
