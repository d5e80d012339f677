#pragma once
// A named endpoint that sends and receives messages (Bottle, Vector, images, any
// PortWriter/PortReader) to and from other ports on this host, in this or another process.
#include <memory>
#include <string>

#include <yarp/os/PortReader.h>
#include <yarp/os/PortWriter.h>

namespace yarp::os {

/**
 * Plain port. Writes go synchronously to every output connection (made with
 * NetworkBase::connect). Reads take one message at a time from any input connection; a
 * writer waits (bounded) until its previous message has been read, so nothing is lost and
 * nothing piles up.
 *
 * Request/reply: write(msg, reply) sends `msg` on the first output connection and waits for
 * the answer; the receiving side answers with read(reader, true) followed by reply(). A
 * request read without `willReply`, or not answered before the next read or close, is
 * answered "no reply" so that the caller's write returns false instead of waiting.
 */
class Port {
public:
    Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    ~Port();

    /// Registers the port under `name` (must start with '/'). False, with one diagnostic
    /// line, when the name is invalid or already held by a live port.
    bool open(const std::string& name);
    /// Releases the name, drops every connection, and releases a blocked read() or reply
    /// wait. Idempotent.
    void close();
    /// Makes a blocked read() or reply wait return false, and later ones too until resume().
    void interrupt();
    void resume();

    /// Streams `msg` to every output connection. True when it went to all of them (also
    /// when there are none). `callback` is accepted for compatibility and not used.
    bool write(const PortWriter& msg, const PortWriter* callback = nullptr) const;
    /// Sends `msg` on the first output connection and waits for the answer in `reply`.
    /// False without a connection, when the other side does not answer, when the timeout
    /// set with setTimeout() passes, or when the answer does not decode into `reply`.
    bool write(const PortWriter& msg, PortReader& reply, const PortWriter* callback = nullptr) const;

    /// Waits for one message and decodes it into `reader`. False when the port is closed
    /// or interrupted, or the message does not decode. With `willReply`, a request must be
    /// answered with reply().
    bool read(PortReader& reader, bool willReply = false);
    /// Answers the request taken by the last read(reader, true).
    bool reply(PortWriter& writer);

    /// Limit, in seconds, on the wait for an answer in write(msg, reply); <= 0 waits
    /// without limit (until an answer, the connection's end, interrupt() or close()).
    bool setTimeout(float timeout);

    std::string getName() const;
    int getInputCount();
    int getOutputCount();
    bool isOpen() const;

private:
    struct Private;
    std::unique_ptr<Private> p_;
};

} // namespace yarp::os
