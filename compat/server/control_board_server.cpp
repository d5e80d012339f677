#include <compat/control_board_server.h>

#include "dev/control_board_protocol.h"
#include "os/port_core.h"

#include <mutex>
#include <vector>

namespace compat {

using yarp::dev::impl::BoardCommand;
using yarp::dev::impl::BoardMessage;

namespace {

/// Runs one request on the board; fills `reply` (code 1 when done).
void dispatch(ControlBoard& board, const BoardMessage& request, BoardMessage& reply)
{
    const int n = board.axes();
    const int j = request.joint;
    const auto& in = request.values;
    const bool jointOk = j >= 0 && j < n;
    const bool oneValue = in.size() == 1;
    const bool allValues = in.size() == static_cast<std::size_t>(n);
    std::vector<double>& out = reply.values;
    bool ok = false;
    switch (static_cast<BoardCommand>(request.code)) {
    case BoardCommand::GetAxes:
        out = {static_cast<double>(n)};
        ok = true;
        break;
    case BoardCommand::GetEncoders:
        out.assign(static_cast<std::size_t>(n), 0.0);
        ok = board.getEncoders(out.data());
        break;
    case BoardCommand::GetEncoder:
        if (jointOk) {
            std::vector<double> all(static_cast<std::size_t>(n));
            ok = board.getEncoders(all.data());
            out = {all[static_cast<std::size_t>(j)]};
        }
        break;
    case BoardCommand::GetEncoderSpeeds:
        out.assign(static_cast<std::size_t>(n), 0.0);
        ok = board.getEncoderSpeeds(out.data());
        break;
    case BoardCommand::PositionMoveAll:
        ok = allValues && board.positionMove(in.data());
        break;
    case BoardCommand::PositionMoveOne:
        ok = jointOk && oneValue && board.positionMove(j, in[0]);
        break;
    case BoardCommand::SetRefSpeeds:
        ok = allValues && board.setRefSpeeds(in.data());
        break;
    case BoardCommand::SetRefAccelerations:
        ok = allValues && board.setRefAccelerations(in.data());
        break;
    case BoardCommand::CheckMotionDone: {
        bool done = false;
        ok = board.checkMotionDone(&done);
        out = {done ? 1.0 : 0.0};
        break;
    }
    case BoardCommand::Stop:
        ok = board.stop();
        break;
    case BoardCommand::VelocityMoveAll:
        ok = allValues && board.velocityMove(in.data());
        break;
    case BoardCommand::VelocityMoveOne:
        ok = jointOk && oneValue && board.velocityMove(j, in[0]);
        break;
    case BoardCommand::GetControlMode:
        if (jointOk) {
            int mode = 0;
            ok = board.getControlMode(j, &mode);
            out = {static_cast<double>(mode)};
        }
        break;
    case BoardCommand::GetControlModes:
        ok = true;
        for (int k = 0; k < n && ok; ++k) {
            int mode = 0;
            ok = board.getControlMode(k, &mode);
            out.push_back(static_cast<double>(mode));
        }
        break;
    case BoardCommand::SetControlMode:
        ok = jointOk && oneValue && board.setControlMode(j, static_cast<int>(in[0]));
        break;
    case BoardCommand::SetControlModes:
        ok = allValues;
        for (int k = 0; k < n && ok; ++k) {
            ok = board.setControlMode(k, static_cast<int>(in[static_cast<std::size_t>(k)]));
        }
        break;
    }
    reply.code = ok ? 1 : 0;
    if (!ok) {
        out.clear();
    }
}

} // namespace

struct ControlBoardServer::Private : public yarp::os::impl::InputSink {
    Private() { core.setSink(this); }
    ~Private() override { core.close(); }

    void deliver(const std::shared_ptr<yarp::os::impl::InputConnection>& from,
                 const yarp::os::impl::Message& msg) override
    {
        BoardMessage request(yarp::dev::impl::boardRequestTag);
        BoardMessage reply(yarp::dev::impl::boardReplyTag);
        yarp::os::ConnectionReader reader(msg.data, msg.len);
        if (request.read(reader)) {
            std::lock_guard<std::mutex> lock(boardMutex);
            if (board) {
                dispatch(*board, request, reply);
            }
        }
        if (msg.kind == yarp::os::impl::FrameKind::Request) {
            yarp::os::ConnectionWriter writer;
            reply.write(writer);
            from->sendReply(msg.seq, writer.bytes().data(), writer.bytes().size());
        }
    }

    void closing() override {}

    std::mutex boardMutex;
    ControlBoard* board = nullptr;
    yarp::os::impl::PortCore core; // last: closed first, while the rest is alive
};

ControlBoardServer::ControlBoardServer() : p_(std::make_unique<Private>()) {}

ControlBoardServer::~ControlBoardServer() = default;

bool ControlBoardServer::open(const std::string& name, ControlBoard& board)
{
    if (p_->core.isOpen()) {
        yarp::os::impl::diagnostic("ControlBoardServer: already serving %s", p_->core.name().c_str());
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(p_->boardMutex);
        p_->board = &board;
    }
    return p_->core.open(rpcPortName(name));
}

void ControlBoardServer::close()
{
    p_->core.close();
    std::lock_guard<std::mutex> lock(p_->boardMutex);
    p_->board = nullptr;
}

bool ControlBoardServer::isOpen() const
{
    return p_->core.isOpen();
}

} // namespace compat
