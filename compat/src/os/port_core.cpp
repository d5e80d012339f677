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

namespace {

/// How long a freshly accepted connection may take to say what it is.
constexpr int firstFrameTimeoutMs = 5000;
/// How long a new output connection waits for the destination to accept it.
constexpr int acceptTimeoutMs = 5000;
/// Pause before accepting again after running out of descriptors (or memory), unless a
/// connection ends first and gives one back.
constexpr int acceptBackoffMs = 100;
/// Senders of oversized frames remembered, so that each is reported once.
constexpr std::size_t maxReportedSenders = 64;

} // namespace

// ---------------------------------------------------------------------------------------
// PortCore

PortCore::PortCore()
    : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), interruptFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

PortCore::~PortCore()
{
    close();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
    if (interruptFd_ >= 0) {
        ::close(interruptFd_);
    }
}

std::string PortCore::name() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return name_;
}

bool PortCore::open(const std::string& name)
{
    if (open_) {
        diagnostic("Port %s: already open (as %s)", name.c_str(), this->name().c_str());
        return false;
    }
    if (wakeFd_ < 0 || interruptFd_ < 0) {
        diagnostic("Port %s: cannot create event descriptors: %s", name.c_str(), std::strerror(errno));
        return false;
    }
    std::string error;
    const int fd = claim_.acquire(name, error);
    if (fd < 0) {
        diagnostic("Port %s: %s", name.c_str(), error.c_str());
        return false;
    }
    drainFd(wakeFd_);
    if (!interrupted_) {
        drainFd(interruptFd_);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        name_ = name;
    }
    listenFd_ = fd;
    closing_ = false;
    open_ = true;
    acceptor_ = std::thread(&PortCore::acceptLoop, this);
    return true;
}

void PortCore::close()
{
    if (!open_.exchange(false)) {
        return;
    }
    closing_ = true;
    signalFd(wakeFd_);
    joinUnlessSelf(acceptor_);
    ::close(listenFd_);
    listenFd_ = -1;
    claim_.release(); // the name is free from here on
    signalFd(interruptFd_);
    if (sink_) {
        sink_->closing();
    }
    std::list<Serving> inputs;
    std::vector<std::shared_ptr<OutputConnection>> outputs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inputs.swap(inputs_);
        outputs.swap(outputs_);
        reportedOversize_.clear();
        reportedFull_ = false;
    }
    for (auto& s : inputs) {
        s.conn->shutdown();
    }
    for (auto& c : outputs) {
        c->shutdown();
    }
    for (auto& s : inputs) {
        joinUnlessSelf(s.thread);
    }
    inputs.clear();
    outputs.clear(); // joins the sender threads
    if (!interrupted_) {
        drainFd(interruptFd_);
    }
}

void PortCore::acceptLoop()
{
    bool reportedShortage = false; // said once while the port is open: a shortage comes in waves
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            diagnostic("Port %s: stopped accepting connections: %s", name().c_str(), std::strerror(errno));
            return;
        }
        if (fds[1].revents & POLLIN) {
            drainFd(wakeFd_);
            if (closing_) {
                return;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            reapFinished();
        }
        if (!(fds[0].revents & POLLIN)) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOMEM || errno == ENOBUFS) {
                if (!reportedShortage) {
                    diagnostic("Port %s: cannot accept connections for now (%s); retrying", name().c_str(),
                               std::strerror(errno));
                    reportedShortage = true;
                }
                // The waiting peer stays in the queue: back off instead of spinning on it. A
                // connection of this port that ends gives a descriptor back and wakes us early.
                pollfd wait{wakeFd_, POLLIN, 0};
                ::poll(&wait, 1, acceptBackoffMs);
            }
            continue;
        }
        admit(fd);
    }
}

void PortCore::admit(int fd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        ::close(fd);
        return;
    }
    if (inputs_.size() >= maxInputConnections) {
        reapFinished(); // under the lock: join the finished ones before judging
    }
    if (inputs_.size() >= maxInputConnections) {
        // Closing at once tells the peer; it is not left waiting for an answer.
        static_assert(maxInputConnections > 0, "a port must take at least one connection");
        if (!reportedFull_) { // once while the port is open
            diagnostic("Port %s: already serving %zu connections; refusing more", name_.c_str(),
                       maxInputConnections);
            reportedFull_ = true;
        }
        ::close(fd);
        return;
    }
    setLargeBuffers(fd);
    auto conn = std::make_shared<InputConnection>(fd);
    try {
        std::thread thread(&PortCore::serve, this, conn);
        inputs_.push_back(Serving{std::move(conn), std::move(thread)});
    } catch (const std::system_error& e) {
        diagnostic("Port %s: cannot serve a connection: %s", name_.c_str(), e.what());
    }
}

void PortCore::reapFinished()
{
    // Called with mutex_ held. Finished threads are past every lock (their last act is
    // the wake-up), so joining them here is quick.
    for (auto it = inputs_.begin(); it != inputs_.end();) {
        if (it->conn->finished_) {
            joinUnlessSelf(it->thread);
            it = inputs_.erase(it);
        } else {
            ++it;
        }
    }
}

void PortCore::serve(std::shared_ptr<InputConnection> conn)
{
    setRecvTimeout(conn->fd_, firstFrameTimeoutMs);
    setSendTimeout(conn->fd_, stallLimitMs);
    FrameHeader header;
    FrameBuffer payload;
    const RecvStatus first = recvFrame(conn->fd_, header, payload, -1, -1, maxFirstFrameLength);
    if (first == RecvStatus::TooLarge) {
        refuseOversize(*conn, header, maxFirstFrameLength);
    } else if (first == RecvStatus::Ok) {
        const std::string text(payload.data(), payload.size());
        const auto newline = text.find('\n');
        const std::string destination = text.substr(0, newline);
        const std::string rest = newline == std::string::npos ? std::string() : text.substr(newline + 1);
        const std::string self = name();
        const auto kind = static_cast<FrameKind>(header.kind);
        if (kind == FrameKind::Admin) {
            const std::string answer = destination == self ? handleAdmin(rest) : "0this is port " + self;
            std::lock_guard<std::mutex> lock(conn->sendMutex_);
            sendFrame(conn->fd_, FrameKind::AdminReply, header.seq, answer);
        } else if (kind == FrameKind::Hello) {
            // Hello is "<source>\n<destination>".
            const std::string source = destination;
            if (rest != self) {
                std::lock_guard<std::mutex> lock(conn->sendMutex_);
                sendFrame(conn->fd_, FrameKind::Accept, 0, "this is port " + self);
            } else {
                conn->source_ = source;
                setRecvTimeout(conn->fd_, 0);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    conn->isData_ = true;
                }
                bool accepted = false;
                {
                    std::lock_guard<std::mutex> lock(conn->sendMutex_);
                    accepted = sendFrame(conn->fd_, FrameKind::Accept, 0, nullptr, 0);
                }
                if (accepted) {
                    serveData(conn);
                }
            }
        }
    }
    // Give the descriptor back now, not when the port next accepts a connection: a port
    // whose process ran out of descriptors could otherwise never accept one again.
    conn->shutdown();
    conn->release();
    conn->finished_ = true;
    signalFd(wakeFd_); // the accept loop joins this thread
}

void PortCore::serveData(const std::shared_ptr<InputConnection>& conn)
{
    FrameHeader header;
    FrameBuffer payload;
    for (;;) {
        const std::uint64_t limit = maxMessageLength_.load();
        const RecvStatus s = recvFrame(conn->fd_, header, payload, -1, -1, limit);
        if (s == RecvStatus::TooLarge) {
            refuseOversize(*conn, header, limit);
        }
        if (s != RecvStatus::Ok) {
            return;
        }
        const auto kind = static_cast<FrameKind>(header.kind);
        if (kind != FrameKind::Data && kind != FrameKind::Request) {
            diagnostic("Port %s: protocol error on the connection from %s; dropped it", name().c_str(),
                       conn->source_.c_str());
            return;
        }
        if (closing_) {
            return;
        }
        Message msg;
        msg.kind = kind;
        msg.seq = header.seq;
        msg.data = payload.data();
        msg.len = payload.size();
        if (sink_) {
            sink_->deliver(conn, msg);
        } else if (kind == FrameKind::Request) {
            conn->sendReply(header.seq, nullptr, 0, false);
        }
    }
}

void PortCore::refuseOversize(const InputConnection& conn, const FrameHeader& header, std::uint64_t limit)
{
    const std::string sender = conn.source_.empty() ? std::string("a new connection") : conn.source_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reportedOversize_.count(sender) != 0) {
            return;
        }
        if (reportedOversize_.size() >= maxReportedSenders) {
            return; // enough said; a flood of senders does not flood the log
        }
        reportedOversize_.insert(sender);
    }
    diagnostic("Port %s: dropped the connection from %s: a message of %llu bytes exceeds the limit of %llu",
               name().c_str(), sender.c_str(), static_cast<unsigned long long>(header.length),
               static_cast<unsigned long long>(limit));
}

std::string PortCore::handleAdmin(const std::string& command)
{
    const auto space = command.find(' ');
    const std::string verb = command.substr(0, space);
    const std::string arg = space == std::string::npos ? std::string() : command.substr(space + 1);
    if (verb == "ping") {
        return "1" + name();
    }
    if (verb == "info") {
        std::string answer = "1" + std::to_string(inputCount()) + " " + std::to_string(outputCount());
        for (const auto& o : outputs()) {
            answer += " " + o->target();
        }
        return answer;
    }
    if (verb == "connect") {
        std::string error;
        return addOutput(arg, error) ? std::string("1") : "0" + error;
    }
    if (verb == "disconnect") {
        return removeOutput(arg) ? std::string("1") : "0no connection from " + name() + " to " + arg;
    }
    if (verb == "connected") {
        return hasOutput(arg) ? std::string("1") : std::string("0");
    }
    return "0unknown admin command \"" + verb + "\"";
}

bool PortCore::addOutput(const std::string& target, std::string& error)
{
    if (!open_) {
        error = "the port is not open";
        return false;
    }
    if (hasOutput(target)) {
        return true;
    }
    const int fd = registry::connectTo(target, error);
    if (fd < 0) {
        return false;
    }
    setSendTimeout(fd, stallLimitMs);
    setRecvTimeout(fd, stallLimitMs);
    auto conn = std::make_shared<OutputConnection>(fd, target, maxMessageLength_.load());
    if (!sendFrame(fd, FrameKind::Hello, 0, name() + "\n" + target)) {
        error = "port " + target + " did not take the connection";
        return false;
    }
    FrameHeader header;
    FrameBuffer payload;
    const RecvStatus s = recvFrame(fd, header, payload, acceptTimeoutMs);
    if (s != RecvStatus::Ok || header.kind != static_cast<std::uint32_t>(FrameKind::Accept)) {
        error = "port " + target + " did not answer the connection";
        return false;
    }
    if (payload.size() > 0) {
        error = "port " + target + " refused the connection: " + std::string(payload.data(), payload.size());
        return false;
    }
    std::shared_ptr<OutputConnection> duplicate;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_ || !open_) {
            error = "the port is closing";
            return false;
        }
        for (const auto& o : outputs_) {
            if (!o->broken() && o->target() == target) {
                duplicate = conn; // a concurrent connect won; keep the older connection
            }
        }
        if (!duplicate) {
            outputs_.push_back(conn);
        }
    }
    return true;
}

bool PortCore::removeOutput(const std::string& target)
{
    std::vector<std::shared_ptr<OutputConnection>> removed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::stable_partition(outputs_.begin(), outputs_.end(),
                                        [&](const auto& o) { return o->target() != target; });
        removed.assign(it, outputs_.end());
        outputs_.erase(it, outputs_.end());
    }
    bool live = false;
    for (const auto& o : removed) {
        live = live || !o->broken();
        o->shutdown();
    }
    return live;
}

bool PortCore::hasOutput(const std::string& target)
{
    for (const auto& o : outputs()) {
        if (o->target() == target) {
            return true;
        }
    }
    return false;
}

std::vector<std::shared_ptr<OutputConnection>> PortCore::outputs()
{
    std::vector<std::shared_ptr<OutputConnection>> live;
    std::vector<std::shared_ptr<OutputConnection>> dead; // destroyed after the lock is released
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& o : outputs_) {
            (o->broken() ? dead : live).push_back(o);
        }
        outputs_ = live;
    }
    return live;
}

int PortCore::inputCount()
{
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& s : inputs_) {
        // A connection whose thread waits for a reader to take its last message has not
        // seen the end of the stream yet; ask the socket whether the writer is still there.
        n += s.conn->isData_ && !s.conn->finished_ && !s.conn->peerGone() ? 1 : 0;
    }
    return n;
}

int PortCore::outputCount()
{
    std::vector<std::shared_ptr<OutputConnection>> list = outputs();
    int n = 0;
    for (const auto& o : list) {
        // A destination that went away is noticed here rather than at the next write.
        if (peerGone(o->fd())) {
            o->shutdown();
        } else {
            ++n;
        }
    }
    return n;
}

void PortCore::interrupt()
{
    interrupted_ = true;
    signalFd(interruptFd_);
}

void PortCore::resume()
{
    interrupted_ = false;
    if (!closing_) {
        drainFd(interruptFd_);
    }
}

bool adminCall(const std::string& target, const std::string& command, std::string& answer, int timeoutMs)
{
    const int fd = registry::connectTo(target, answer);
    if (fd < 0) {
        return false;
    }
    setSendTimeout(fd, timeoutMs);
    setRecvTimeout(fd, timeoutMs);
    FrameHeader header;
    FrameBuffer payload;
    bool ok = false;
    if (!sendFrame(fd, FrameKind::Admin, 0, target + "\n" + command)) {
        answer = "port " + target + " did not take the command";
    } else if (recvFrame(fd, header, payload, timeoutMs) != RecvStatus::Ok
               || header.kind != static_cast<std::uint32_t>(FrameKind::AdminReply) || payload.size() == 0) {
        answer = "port " + target + " did not answer";
    } else {
        ok = payload.data()[0] == '1';
        answer.assign(payload.data() + 1, payload.size() - 1);
    }
    ::close(fd);
    return ok;
}

} // namespace yarp::os::impl
