#pragma once
// Messages between remote_controlboard clients and controlBoard_nws_yarp: one request, one
// reply, each a tag, a code, a joint number and a list of doubles (modes travel as doubles,
// which hold every 32-bit code exactly).
#include <yarp/os/ConnectionReader.h>
#include <yarp/os/ConnectionWriter.h>
#include <yarp/os/Portable.h>

#include <cstdint>
#include <vector>

namespace yarp::dev::impl {

enum class BoardCommand : std::int32_t {
    GetAxes = 1,
    GetEncoders,
    GetEncoder,
    GetEncoderSpeeds,
    PositionMoveAll,
    PositionMoveOne,
    SetRefSpeeds,
    SetRefAccelerations,
    CheckMotionDone,
    Stop,
    VelocityMoveAll,
    VelocityMoveOne,
    GetControlMode,
    GetControlModes,
    SetControlMode,
    SetControlModes,
};

constexpr std::int32_t boardRequestTag = 0x31515242; // "BRQ1"
constexpr std::int32_t boardReplyTag = 0x31505242;   // "BRP1"
/// More axes than any board has; bounds what a message may claim.
constexpr std::int32_t maxBoardValues = 4096;

class BoardMessage : public yarp::os::Portable {
public:
    explicit BoardMessage(std::int32_t tag) : tag_(tag) {}

    std::int32_t code = 0; ///< BoardCommand of a request; 1 (done) or 0 (failed) of a reply
    std::int32_t joint = -1;
    std::vector<double> values;

    bool write(yarp::os::ConnectionWriter& w) const override
    {
        if (values.size() > static_cast<std::size_t>(maxBoardValues)) {
            return false;
        }
        w.appendInt32(tag_);
        w.appendInt32(code);
        w.appendInt32(joint);
        w.appendInt32(static_cast<std::int32_t>(values.size()));
        if (!values.empty()) {
            w.appendBlock(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(double));
        }
        return true;
    }

    bool read(yarp::os::ConnectionReader& r) override
    {
        std::int32_t tag = 0;
        std::int32_t count = 0;
        values.clear();
        if (!r.expectInt32(tag) || tag != tag_ || !r.expectInt32(code) || !r.expectInt32(joint)
            || !r.expectInt32(count) || count < 0 || count > maxBoardValues
            || static_cast<std::size_t>(count) * sizeof(double) != r.remaining()) {
            return false;
        }
        values.resize(static_cast<std::size_t>(count));
        return count == 0 || r.expectBlock(reinterpret_cast<char*>(values.data()), values.size() * sizeof(double));
    }

private:
    std::int32_t tag_;
};

} // namespace yarp::dev::impl
