#include "os/port_core.h"
#include "os/descriptors.h"

#include <yarp/os/ConnectionReader.h>
#include <yarp/os/PortReader.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <system_error>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace yarp::os::impl {

// ---------------------------------------------------------------------------------------
// InputConnection

InputConnection::~InputConnection()
{
    release();
}

bool InputConnection::sendReply(std::uint64_t seq, const char* data, std::size_t len, bool answered)
{
    std::lock_guard<std::mutex> lock(sendMutex_);
    return fd_ >= 0
        && sendFrame(fd_, answered ? FrameKind::Reply : FrameKind::NoReply, seq, data, answered ? len : 0);
}

void InputConnection::shutdown()
{
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

bool InputConnection::peerGone()
{
    // A reply being sent holds the lock (up to the stall limit): the peer was there just now.
    std::unique_lock<std::mutex> lock(sendMutex_, std::try_to_lock);
    return lock.owns_lock() && (fd_ < 0 || yarp::os::impl::peerGone(fd_));
}

void InputConnection::release()
{
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

// ---------------------------------------------------------------------------------------
// OutputConnection

OutputConnection::OutputConnection(int fd, std::string target, std::uint64_t maxReplyLength)
    : fd_(fd), target_(std::move(target)), maxReplyLength_(maxReplyLength)
{
}

OutputConnection::~OutputConnection()
{
    shutdown();
    joinUnlessSelf(sender_);
    ::close(fd_);
}

void OutputConnection::markBroken()
{
    broken_ = true;
    // A frame may have gone out in part: the stream cannot be used any more. Shutting it
    // down also tells the destination, which drops its end.
    ::shutdown(fd_, SHUT_RDWR);
}

bool OutputConnection::send(const char* data, std::size_t len)
{
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (broken_) {
        return false;
    }
    if (!sendFrame(fd_, FrameKind::Data, 0, data, len)) {
        markBroken();
        return false;
    }
    return true;
}

OutputConnection::ReplyStatus OutputConnection::request(const char* data, std::size_t len, PortReader& reply,
                                                        int timeoutMs, int wakeFd)
{
    using Clock = std::chrono::steady_clock;
    std::lock_guard<std::mutex> lock(sendMutex_);
    if (broken_) {
        return ReplyStatus::Failed;
    }
    const std::uint64_t seq = ++nextSeq_;
    if (!sendFrame(fd_, FrameKind::Request, seq, data, len)) {
        markBroken();
        return ReplyStatus::Failed;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = static_cast<int>(std::max<long long>(0, left));
        }
        FrameHeader header;
        const RecvStatus s = recvFrame(fd_, header, replyBuffer_, wait, wakeFd, maxReplyLength_);
        if (s == RecvStatus::TimedOut) {
            return ReplyStatus::TimedOut; // a late answer is recognised by its number and skipped
        }
        if (s == RecvStatus::Interrupted) {
            return ReplyStatus::Interrupted;
        }
        if (s != RecvStatus::Ok) {
            if (s == RecvStatus::TooLarge) {
                diagnostic("Port %s answered with %llu bytes, more than the limit of %llu; dropped the connection",
                           target_.c_str(), static_cast<unsigned long long>(header.length),
                           static_cast<unsigned long long>(maxReplyLength_));
            }
            markBroken();
            return ReplyStatus::Failed;
        }
        const auto kind = static_cast<FrameKind>(header.kind);
        if ((kind != FrameKind::Reply && kind != FrameKind::NoReply) || header.seq != seq) {
            continue; // the answer to an earlier request that timed out
        }
        if (kind == FrameKind::NoReply) {
            return ReplyStatus::NotAnswered;
        }
        ConnectionReader reader(replyBuffer_.data(), replyBuffer_.size());
        return reply.read(reader) ? ReplyStatus::Answered : ReplyStatus::Failed;
    }
}

bool OutputConnection::post(std::shared_ptr<const std::string> msg, bool strict)
{
    std::unique_lock<std::mutex> lock(postMutex_);
    if (broken_ || stopping_) {
        return false;
    }
    if (!sender_.joinable()) {
        sender_ = std::thread(&OutputConnection::senderLoop, this);
    }
    if (busy_) {
        if (!strict) {
            return false; // this connection is still busy with an older message: skip it
        }
        postCv_.wait(lock, [this] { return !busy_ || stopping_ || broken_; });
        if (stopping_ || broken_) {
            return false;
        }
    }
    slot_ = std::move(msg);
    busy_ = true;
    postCv_.notify_all();
    return true;
}

void OutputConnection::senderLoop()
{
    std::unique_lock<std::mutex> lock(postMutex_);
    for (;;) {
        postCv_.wait(lock, [this] { return slot_ != nullptr || stopping_; });
        if (stopping_) {
            break;
        }
        std::shared_ptr<const std::string> msg = std::move(slot_);
        slot_.reset();
        lock.unlock();
        const bool ok = send(msg->data(), msg->size());
        msg.reset(); // give the buffer back before reporting idle, so the writer can reuse it
        lock.lock();
        busy_ = false;
        postCv_.notify_all();
        if (!ok) {
            break;
        }
    }
    slot_.reset();
    busy_ = false;
    postCv_.notify_all();
}

void OutputConnection::waitIdle()
{
    std::unique_lock<std::mutex> lock(postMutex_);
    postCv_.wait(lock, [this] { return !busy_ || stopping_ || broken_; });
}

void OutputConnection::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(postMutex_);
        stopping_ = true;
        postCv_.notify_all();
    }
    markBroken();
}

} // namespace yarp::os::impl
