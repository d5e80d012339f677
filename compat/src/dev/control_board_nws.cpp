#include "dev/control_board_nws.h"

#include "dev/control_board_protocol.h"
#include "os/port_core.h"
#include "os/wire.h"

#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Value.h>

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

namespace yarp::dev::impl {

namespace {

/// The interfaces of the attached device; null where it offers none.
struct AttachedBoard {
    int axes = 0;
    IEncodersTimed* encoders = nullptr;
    IPositionControl* position = nullptr;
    IVelocityControl* velocity = nullptr;
    IControlMode* modes = nullptr;
};

int axesOf(const AttachedBoard& b)
{
    int n = 0;
    if (b.position && b.position->getAxes(&n)) {
        return n;
    }
    if (b.encoders && b.encoders->getAxes(&n)) {
        return n;
    }
    if (b.velocity && b.velocity->getAxes(&n)) {
        return n;
    }
    return 0;
}

/// Runs one request on the board; fills `reply` (code 1 when done).
void dispatch(const AttachedBoard& board, const BoardMessage& request, BoardMessage& reply)
{
    const int n = board.axes;
    const int j = request.joint;
    const auto& in = request.values;
    const bool jointOk = j >= 0 && j < n;
    const bool oneValue = in.size() == 1;
    const bool allValues = in.size() == static_cast<std::size_t>(n);
    IEncodersTimed* enc = board.encoders;
    IPositionControl* pos = board.position;
    IVelocityControl* vel = board.velocity;
    IControlMode* modes = board.modes;
    std::vector<double>& out = reply.values;
    bool ok = false;
    switch (static_cast<BoardCommand>(request.code)) {
    case BoardCommand::GetAxes:
        // Asked of the device each time, as the device reports it now.
        out = {static_cast<double>(axesOf(board))};
        ok = true;
        break;
    case BoardCommand::GetEncoders:
        out.assign(static_cast<std::size_t>(n), 0.0);
        ok = enc && enc->getEncoders(out.data());
        break;
    case BoardCommand::GetEncoder:
        out = {0.0};
        ok = enc && jointOk && enc->getEncoder(j, out.data());
        break;
    case BoardCommand::GetEncoderSpeeds:
        out.assign(static_cast<std::size_t>(n), 0.0);
        ok = enc && enc->getEncoderSpeeds(out.data());
        break;
    case BoardCommand::PositionMoveAll:
        ok = pos && allValues && pos->positionMove(in.data());
        break;
    case BoardCommand::PositionMoveOne:
        ok = pos && jointOk && oneValue && pos->positionMove(j, in[0]);
        break;
    case BoardCommand::SetRefSpeeds:
        ok = pos && allValues && pos->setRefSpeeds(in.data());
        break;
    case BoardCommand::SetRefAccelerations:
        ok = pos && allValues && pos->setRefAccelerations(in.data());
        break;
    case BoardCommand::CheckMotionDone: {
        bool done = false;
        ok = pos && pos->checkMotionDone(&done);
        out = {done ? 1.0 : 0.0};
        break;
    }
    case BoardCommand::Stop:
        ok = pos ? pos->stop() : vel && vel->stop();
        break;
    case BoardCommand::VelocityMoveAll:
        ok = vel && allValues && vel->velocityMove(in.data());
        break;
    case BoardCommand::VelocityMoveOne:
        ok = vel && jointOk && oneValue && vel->velocityMove(j, in[0]);
        break;
    case BoardCommand::GetControlMode: {
        int mode = 0;
        ok = modes && jointOk && modes->getControlMode(j, &mode);
        out = {static_cast<double>(mode)};
        break;
    }
    case BoardCommand::GetControlModes: {
        std::vector<int> m(static_cast<std::size_t>(n), 0);
        ok = modes && modes->getControlModes(m.data());
        out.assign(m.begin(), m.end());
        break;
    }
    case BoardCommand::SetControlMode:
        ok = modes && jointOk && oneValue && modes->setControlMode(j, static_cast<int>(in[0]));
        break;
    case BoardCommand::SetControlModes: {
        std::vector<int> m(in.begin(), in.end());
        ok = modes && allValues && modes->setControlModes(m.data());
        break;
    }
    }
    reply.code = ok ? 1 : 0;
    if (!ok) {
        out.clear();
    }
}

} // namespace

struct ControlBoardNws::Private : public yarp::os::impl::InputSink {
    Private() { core.setSink(this); }
    ~Private() override { core.close(); }

    void deliver(const std::shared_ptr<yarp::os::impl::InputConnection>& from,
                 const yarp::os::impl::Message& msg) override
    {
        BoardMessage request(boardRequestTag);
        BoardMessage reply(boardReplyTag);
        yarp::os::ConnectionReader reader(msg.data, msg.len);
        if (request.read(reader)) {
            std::lock_guard<std::mutex> lock(boardMutex);
            if (attached) {
                dispatch(board, request, reply);
            }
        }
        if (msg.kind == yarp::os::impl::FrameKind::Request) {
            yarp::os::ConnectionWriter writer;
            reply.write(writer);
            from->sendReply(msg.seq, writer.bytes().data(), writer.bytes().size());
        }
    }

    void closing() override {}

    std::string name;
    std::mutex boardMutex; // serialises calls and guards board/attached
    AttachedBoard board;
    bool attached = false;
    yarp::os::impl::PortCore core; // last: closed first, while the rest is alive
};

ControlBoardNws::ControlBoardNws() : p_(std::make_unique<Private>()) {}

ControlBoardNws::~ControlBoardNws() { close(); }

bool ControlBoardNws::open(yarp::os::Searchable& config)
{
    if (p_->core.isOpen()) {
        yarp::os::impl::diagnostic("controlBoard_nws_yarp: already serving %s", p_->name.c_str());
        return false;
    }
    const yarp::os::Value& name = config.find("name");
    if (!name.isString() || name.asString().empty()) {
        yarp::os::impl::diagnostic("controlBoard_nws_yarp: the configuration needs \"name\", the board's port prefix");
        return false;
    }
    if (config.check("period")) {
        const yarp::os::Value& period = config.find("period");
        const double seconds = period.asFloat64();
        if (!(period.isFloat64() || period.isInt32() || period.isInt64()) || !std::isfinite(seconds) || seconds <= 0) {
            yarp::os::impl::diagnostic("controlBoard_nws_yarp: \"period\" must be a positive number of seconds, not %s",
                                       period.toString().c_str());
            return false;
        }
    }
    p_->name = name.asString();
    return p_->core.open(p_->name + "/rpc:i"); // prints why on failure
}

bool ControlBoardNws::close()
{
    detach();
    p_->core.close();
    return true;
}

bool ControlBoardNws::attach(PolyDriver* driver)
{
    AttachedBoard board;
    if (driver) {
        driver->view(board.encoders);
        driver->view(board.position);
        driver->view(board.velocity);
        driver->view(board.modes);
    }
    board.axes = axesOf(board);
    if (board.axes <= 0 || board.axes > maxBoardValues) {
        yarp::os::impl::diagnostic("controlBoard_nws_yarp %s: the device to attach is not a control board with axes",
                                   p_->name.c_str());
        return false;
    }
    std::lock_guard<std::mutex> lock(p_->boardMutex);
    if (p_->attached) {
        yarp::os::impl::diagnostic("controlBoard_nws_yarp %s: a device is attached already", p_->name.c_str());
        return false;
    }
    p_->board = board;
    p_->attached = true;
    return true;
}

bool ControlBoardNws::detach()
{
    std::lock_guard<std::mutex> lock(p_->boardMutex); // waits for a call in progress
    p_->board = AttachedBoard{};
    p_->attached = false;
    return true;
}

} // namespace yarp::dev::impl
