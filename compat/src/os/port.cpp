#include <yarp/os/Port.h>

#include "os/port_core.h"

#include <yarp/os/ConnectionReader.h>
#include <yarp/os/ConnectionWriter.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace yarp::os {

namespace {

using impl::FrameKind;
using impl::InputConnection;
using impl::Message;

/// Incoming side of a plain Port: every connection thread waits with its message until a
/// reader has taken it, so at most one message per connection is held at any time.
class PortInput : public impl::InputSink {
public:
    void deliver(const std::shared_ptr<InputConnection>& from, const Message& msg) override
    {
        Pending pending{from, msg};
        std::unique_lock<std::mutex> lock(mutex_);
        if (closing_) {
            refuse(pending);
            return;
        }
        queue_.push_back(&pending);
        cv_.notify_all();
        // Once a reader has taken the message it decodes from our buffer: wait for it even
        // when closing, it finishes quickly.
        cv_.wait(lock, [&] { return pending.state == State::Done || (closing_ && pending.state == State::Queued); });
        if (pending.state == State::Queued) {
            queue_.erase(std::find(queue_.begin(), queue_.end(), &pending));
            lock.unlock();
            refuse(pending);
        }
    }

    void closing() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        cv_.notify_all();
    }

    void reopen()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = false;
    }

    void setInterrupted(bool on)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        interrupted_ = on;
        cv_.notify_all();
    }

    bool read(PortReader& reader, bool willReply)
    {
        settleOwedReply();
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return !queue_.empty() || closing_ || interrupted_; });
        if (closing_ || interrupted_) {
            return false;
        }
        Pending* p = queue_.front();
        queue_.pop_front();
        p->state = State::Taken;
        lock.unlock();

        ConnectionReader in(p->msg.data, p->msg.len);
        const bool ok = reader.read(in);
        if (p->msg.kind == FrameKind::Request) {
            if (ok && willReply) {
                std::lock_guard<std::mutex> replyLock(replyMutex_);
                replyTo_ = p->from;
                replySeq_ = p->msg.seq;
            } else {
                p->from->sendReply(p->msg.seq, nullptr, 0, false);
            }
        }
        lock.lock();
        p->state = State::Done;
        cv_.notify_all();
        return ok;
    }

    bool reply(PortWriter& writer)
    {
        auto [to, seq] = takeOwedReply();
        if (!to) {
            return false;
        }
        ConnectionWriter out;
        if (!writer.write(out)) {
            to->sendReply(seq, nullptr, 0, false);
            return false;
        }
        return to->sendReply(seq, out.bytes().data(), out.bytes().size());
    }

    /// A request taken with willReply but not answered: tell its caller so.
    void settleOwedReply()
    {
        auto [to, seq] = takeOwedReply();
        if (to) {
            to->sendReply(seq, nullptr, 0, false);
        }
    }

private:
    enum class State { Queued, Taken, Done };
    struct Pending {
        std::shared_ptr<InputConnection> from;
        Message msg;
        State state = State::Queued;
    };

    static void refuse(const Pending& p)
    {
        if (p.msg.kind == FrameKind::Request) {
            p.from->sendReply(p.msg.seq, nullptr, 0, false);
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Pending*> queue_;
    bool closing_ = false;
    bool interrupted_ = false;

    std::mutex replyMutex_;
    /// The caller owed a reply and its request's sequence number, taken (at most once).
    std::pair<std::shared_ptr<InputConnection>, std::uint64_t> takeOwedReply()
    {
        std::lock_guard<std::mutex> lock(replyMutex_);
        std::shared_ptr<InputConnection> to = std::move(replyTo_);
        replyTo_.reset();
        return {std::move(to), replySeq_};
    }

    std::shared_ptr<InputConnection> replyTo_;
    std::uint64_t replySeq_ = 0;
};

/// Per-thread encoding buffer: keeps its capacity, so steady streams do not allocate.
ConnectionWriter& scratchWriter()
{
    thread_local ConnectionWriter writer;
    writer.clear();
    return writer;
}

} // namespace

struct Port::Private {
    PortInput input;
    impl::PortCore core;
    std::atomic<int> timeoutMs{-1};

    Private() { core.setSink(&input); }
};

Port::Port() : p_(std::make_unique<Private>()) {}

Port::~Port()
{
    close();
}

bool Port::open(const std::string& name)
{
    p_->input.reopen();
    return p_->core.open(name);
}

void Port::close()
{
    p_->core.close();
    p_->input.settleOwedReply();
}

void Port::interrupt()
{
    p_->core.interrupt();
    p_->input.setInterrupted(true);
}

void Port::resume()
{
    p_->core.resume();
    p_->input.setInterrupted(false);
}

bool Port::write(const PortWriter& msg, const PortWriter* /*callback*/) const
{
    if (!p_->core.isOpen()) {
        return false;
    }
    ConnectionWriter& out = scratchWriter();
    if (!msg.write(out)) {
        return false;
    }
    bool all = true;
    for (const auto& conn : p_->core.outputs()) {
        all = conn->send(out.bytes().data(), out.bytes().size()) && all;
    }
    return all;
}

bool Port::write(const PortWriter& msg, PortReader& reply, const PortWriter* /*callback*/) const
{
    if (!p_->core.isOpen() || p_->core.interrupted()) {
        return false;
    }
    const auto outputs = p_->core.outputs();
    if (outputs.empty()) {
        return false;
    }
    ConnectionWriter& out = scratchWriter();
    if (!msg.write(out)) {
        return false;
    }
    const auto status = outputs.front()->request(out.bytes().data(), out.bytes().size(), reply, p_->timeoutMs.load(),
                                                 p_->core.interruptFd());
    return status == impl::OutputConnection::ReplyStatus::Answered;
}

bool Port::read(PortReader& reader, bool willReply)
{
    if (!p_->core.isOpen()) {
        return false;
    }
    return p_->input.read(reader, willReply);
}

bool Port::reply(PortWriter& writer)
{
    return p_->input.reply(writer);
}

bool Port::setTimeout(float timeout)
{
    if (!(timeout > 0.0f) || !std::isfinite(timeout)) {
        p_->timeoutMs = -1;
    } else {
        p_->timeoutMs = static_cast<int>(std::min(std::ceil(static_cast<double>(timeout) * 1000.0), 2.0e9));
    }
    return true;
}

std::string Port::getName() const
{
    return p_->core.isOpen() ? p_->core.name() : std::string();
}

int Port::getInputCount()
{
    return p_->core.inputCount();
}

int Port::getOutputCount()
{
    return p_->core.outputCount();
}

bool Port::isOpen() const
{
    return p_->core.isOpen();
}

} // namespace yarp::os
