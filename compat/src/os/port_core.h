#pragma once
// The transport behind Port and BufferedPort: one listening Unix-domain socket per open
// port (registered in the port registry), one thread per accepted connection, and the
// output connections the port writes to.
//
// An accepted connection is either an admin connection (one command, one answer: ping,
// connect, disconnect, info) or a data connection from another port's output. Data frames
// are handed to the port's InputSink on the connection's own thread; a slow sink therefore
// slows only that connection, and the sink decides whether to wait, drop or queue (bounded).
#include "os/registry.h"
#include "os/wire.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
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
    int fd_;
    std::string source_;
    bool isData_ = false;
    std::atomic<bool> finished_{false};
    std::mutex sendMutex_;
    std::thread thread_;
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
    OutputConnection(int fd, std::string target);
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
    PortCore();
    PortCore(const PortCore&) = delete;
    PortCore& operator=(const PortCore&) = delete;
    ~PortCore();

    /// The sink receives every incoming message; set before open(), must outlive close().
    void setSink(InputSink* sink) { sink_ = sink; }

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
    void acceptLoop();
    void serve(std::shared_ptr<InputConnection> conn);
    void serveData(const std::shared_ptr<InputConnection>& conn);
    std::string handleAdmin(const std::string& command);
    void reapFinished();

    InputSink* sink_ = nullptr;
    registry::Claim claim_;
    std::atomic<bool> open_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> interrupted_{false};
    int listenFd_ = -1;
    int closeFd_ = -1;     // eventfd: ends the accept loop
    int interruptFd_ = -1; // eventfd: readable while interrupted or closed
    std::thread acceptor_;

    mutable std::mutex mutex_; // guards everything below
    std::string name_;
    std::vector<std::shared_ptr<InputConnection>> inputs_;
    std::vector<std::shared_ptr<OutputConnection>> outputs_;
};

/// Sends one admin command to the port `target` and returns its answer. False when the port
/// cannot be reached or the command failed; `answer` then holds the reason.
bool adminCall(const std::string& target, const std::string& command, std::string& answer, int timeoutMs = 5000);

} // namespace yarp::os::impl
