#pragma once
// The transport behind Port and BufferedPort: one listening Unix-domain socket per open
// port (registered in the port registry), one thread per accepted connection, and the
// output connections the port writes to.
//
// An accepted connection is either an admin connection (one command, one answer: ping,
// connect, disconnect, info) or a data connection from another port's output. Data frames
// are handed to the port's InputSink on the connection's own thread; a slow sink therefore
// slows only that connection, and the sink decides whether to wait, drop or queue (bounded).
//
// Resources a peer can make a port spend are bounded: a port accepts at most
// maxInputConnections at a time, a frame longer than the port's message limit costs its
// sender the connection before anything is allocated for it, and a connection's descriptor
// is given back as soon as the connection ends.
#include "os/registry.h"
#include "os/wire.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace yarp::os {
class PortReader;
}

namespace yarp::os::impl {

/// One message handed to a sink. `data` stays valid only during InputSink::deliver().
struct Message {
    FrameKind kind = FrameKind::Data; ///< Data or Request
    std::uint64_t seq = 0;
    const char* data = nullptr;
    std::size_t len = 0;
};

/// The receiving end of one data connection, as seen by a sink.
class InputConnection {
public:
    explicit InputConnection(int fd) : fd_(fd) {}
    InputConnection(const InputConnection&) = delete;
    InputConnection& operator=(const InputConnection&) = delete;
    ~InputConnection();

    const std::string& source() const { return source_; }
    /// Answers request `seq` with `len` bytes; `answered` false sends "not answered".
    /// False when the connection is gone.
    bool sendReply(std::uint64_t seq, const char* data, std::size_t len, bool answered = true);
    /// Ends the connection; its thread sees the end of the stream.
    void shutdown();

private:
    friend class PortCore;
    /// True when the writer has closed its end (or the connection has ended).
    bool peerGone();
    /// Gives the descriptor back; called by the connection's own thread when it is done.
    void release();

    // Read by the connection's thread without the lock (only that thread closes it);
    // everyone else uses it under sendMutex_, so a descriptor number reused after
    // release() is never written to.
    int fd_;
    std::string source_;
    bool isData_ = false;
    std::atomic<bool> finished_{false};
    std::mutex sendMutex_;
};

/// Receives the data and request frames of a port.
class InputSink {
public:
    virtual ~InputSink() = default;
    /// Called on the connection's thread for every Data or Request frame. May block (to
    /// apply back-pressure) but must return soon after closing() is called. A Request must
    /// be answered, now or later, with from->sendReply().
    virtual void deliver(const std::shared_ptr<InputConnection>& from, const Message& msg) = 0;
    /// The port is closing: release every deliver() that waits.
    virtual void closing() = 0;
};

/// Sending end of one connection to another port.
class OutputConnection {
public:
    /// `maxReplyLength`: longest answer to a request that is accepted.
    OutputConnection(int fd, std::string target, std::uint64_t maxReplyLength);
    OutputConnection(const OutputConnection&) = delete;
    OutputConnection& operator=(const OutputConnection&) = delete;
    ~OutputConnection();

    const std::string& target() const { return target_; }
    int fd() const { return fd_; }
    bool broken() const { return broken_.load(); }

    /// Sends one Data frame now (blocking, bounded by the stall limit).
    bool send(const char* data, std::size_t len);

    enum class ReplyStatus { Answered, NotAnswered, Failed, TimedOut, Interrupted };
    /// Sends a Request and waits for its answer, decoding it into `reply`.
    /// `timeoutMs` < 0 waits without limit; a readable `wakeFd` ends the wait.
    ReplyStatus request(const char* data, std::size_t len, PortReader& reply, int timeoutMs, int wakeFd);

    /// Hands `msg` to this connection's sender thread. When the previous message is still
    /// being sent, a non-strict post skips this connection (returns false) and a strict one
    /// waits for it.
    bool post(std::shared_ptr<const std::string> msg, bool strict);
    /// Waits until the sender thread has nothing left to send.
    void waitIdle();
    /// Wakes every waiter and ends the connection.
    void shutdown();

private:
    void senderLoop();
    void markBroken();

    int fd_;
    std::string target_;
    std::atomic<bool> broken_{false};
    std::mutex sendMutex_; // one frame (or one request/reply exchange) at a time
    std::uint64_t nextSeq_ = 0;
    std::uint64_t maxReplyLength_;
    FrameBuffer replyBuffer_;

    std::mutex postMutex_;
    std::condition_variable postCv_;
    std::shared_ptr<const std::string> slot_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread sender_;
};

class PortCore {
public:
    /// Connections (data and admin) a port serves at once; further ones are closed at once.
    static constexpr std::size_t maxInputConnections = 64;

    PortCore();
    PortCore(const PortCore&) = delete;
    PortCore& operator=(const PortCore&) = delete;
    ~PortCore();

    /// The sink receives every incoming message; set before open(), must outlive close().
    void setSink(InputSink* sink) { sink_ = sink; }
    /// Longest message (frame payload) taken from a connection, and the longest answer
    /// taken to a request; defaultMessageLimit unless the port knows better.
    void setMaxMessageLength(std::uint64_t bytes) { maxMessageLength_ = bytes; }
    std::uint64_t maxMessageLength() const { return maxMessageLength_.load(); }

    /// Registers `name` and starts accepting connections. One diagnostic line on failure.
    bool open(const std::string& name);
    /// Stops everything, releases the name. Idempotent.
    void close();
    bool isOpen() const { return open_.load(); }
    std::string name() const;

    /// Opens an output connection to the port `target` (no-op when there is one).
    bool addOutput(const std::string& target, std::string& error);
    /// Closes the output connection to `target`; false when there was none.
    bool removeOutput(const std::string& target);
    bool hasOutput(const std::string& target);

    /// Live output connections (broken ones are dropped first).
    std::vector<std::shared_ptr<OutputConnection>> outputs();
    int inputCount();
    int outputCount();

    /// Wake descriptor for waits that interrupt() and close() must end.
    int interruptFd() const { return interruptFd_; }
    void interrupt();
    void resume();
    bool interrupted() const { return interrupted_.load(); }

private:
    /// One accepted connection and the thread serving it. The thread is always joined by
    /// the port (when it has finished, or in close()), never by the connection object,
    /// which may outlive it in a reader's hands.
    struct Serving {
        std::shared_ptr<InputConnection> conn;
        std::thread thread;
    };

    void acceptLoop();
    void admit(int fd);
    void serve(std::shared_ptr<InputConnection> conn);
    void serveData(const std::shared_ptr<InputConnection>& conn);
    void refuseOversize(const InputConnection& conn, const FrameHeader& header, std::uint64_t limit);
    std::string handleAdmin(const std::string& command);
    void reapFinished();

    InputSink* sink_ = nullptr;
    std::atomic<std::uint64_t> maxMessageLength_{defaultMessageLimit};
    registry::Claim claim_;
    std::atomic<bool> open_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> interrupted_{false};
    int listenFd_ = -1;
    int wakeFd_ = -1;      // eventfd: wakes the accept loop (close, or a connection ended)
    int interruptFd_ = -1; // eventfd: readable while interrupted or closed
    std::thread acceptor_;

    mutable std::mutex mutex_; // guards everything below
    std::string name_;
    std::list<Serving> inputs_;
    std::vector<std::shared_ptr<OutputConnection>> outputs_;
    std::set<std::string> reportedOversize_; // senders already reported (bounded)
    bool reportedFull_ = false;
};

/// Sends one admin command to the port `target` and returns its answer. False when the port
/// cannot be reached or the command failed; `answer` then holds the reason.
bool adminCall(const std::string& target, const std::string& command, std::string& answer, int timeoutMs = 5000);

} // namespace yarp::os::impl
