#pragma once
// Framing of the port transport. Every message on a connection is one frame: a fixed
// header followed by `length` payload bytes. The same socket carries data one way and
// replies the other way.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <yarp/os/impl/MessageLimits.h>

namespace yarp::os::impl {

enum class FrameKind : std::uint32_t {
    Hello = 1,  ///< first frame of a data connection; payload "<source>\n<destination>"
    Accept,     ///< answer to Hello; empty payload = accepted, otherwise the refusal reason
    Data,       ///< one streamed message, no answer expected
    Request,    ///< one message that expects a Reply or NoReply with the same sequence number
    Reply,      ///< the answer to a Request
    NoReply,    ///< the reader took the Request without answering it
    Admin,      ///< only frame of an admin connection; payload "<destination>\n<command>"
    AdminReply, ///< answer to Admin; payload '1' or '0' (success) followed by a text
};

struct FrameHeader {
    std::uint32_t magic = 0;
    std::uint32_t kind = 0;
    std::uint64_t seq = 0;
    std::uint64_t length = 0;
};
static_assert(sizeof(FrameHeader) == 24, "FrameHeader has no padding");

constexpr std::uint32_t frameMagic = 0x31504341; // "ACP1"
/// A send that makes no progress for this long gives up: the reader is stuck.
constexpr int stallLimitMs = 10000;
/// Socket buffer asked for, so that a whole image is in flight with one call.
constexpr int socketBufferBytes = 4 << 20;

/// Growable byte buffer that does not zero what it grows into (frames are large).
class FrameBuffer {
public:
    char* data() { return data_.get(); }
    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    void resize(std::size_t n);

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

/// Sends header and payload with as few system calls as possible. False on any error or
/// when the socket's send timeout expired without progress.
bool sendFrame(int fd, FrameKind kind, std::uint64_t seq, const char* data, std::size_t len);
inline bool sendFrame(int fd, FrameKind kind, std::uint64_t seq, const std::string& payload)
{
    return sendFrame(fd, kind, seq, payload.data(), payload.size());
}

enum class RecvStatus {
    Ok,
    Closed,      ///< orderly end of stream (or the socket was shut down)
    TimedOut,    ///< nothing arrived within the wait
    Interrupted, ///< the wake descriptor became readable
    Failed,      ///< socket error or a malformed header
    TooLarge,    ///< a well-formed header announcing more than the allowed length
};

/// Receives one frame into `payload`. Waits at most `timeoutMs` for the frame to start
/// (-1: no limit); a readable `wakeFd` (>= 0) ends that wait with Interrupted.
/// A frame longer than `maxLength` is refused (TooLarge, `header` filled in) before anything
/// is allocated for it; the stream cannot be used after that.
RecvStatus recvFrame(int fd, FrameHeader& header, FrameBuffer& payload, int timeoutMs = -1, int wakeFd = -1,
                     std::uint64_t maxLength = defaultMessageLimit);

/// Longest first frame (Hello or Admin) of a connection: names and a short command.
constexpr std::uint64_t maxFirstFrameLength = 64 * 1024;

/// Socket option helpers; failures are harmless and ignored.
void setSendTimeout(int fd, int ms);
void setRecvTimeout(int fd, int ms);
void setLargeBuffers(int fd);

/// Waits until `fd` is readable, `wakeFd` is readable, or `timeoutMs` passes (-1: forever).
RecvStatus waitReadable(int fd, int timeoutMs, int wakeFd);

/// One line on standard error, prefixed with the layer's tag.
void diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace yarp::os::impl
