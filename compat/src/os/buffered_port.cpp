#include <yarp/os/impl/BufferedPortCore.h>

#include "os/port_core.h"

#include <yarp/os/ConnectionWriter.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

namespace yarp::os::impl {

namespace {

/// Unread objects a strict reader may have before writers wait.
constexpr std::size_t strictCapacity = 64;
/// Spare objects kept for reuse (a stream of images then reuses its pixel buffers).
constexpr std::size_t spareCapacity = 3;

/// Encoding buffers shared with the connection senders. The last holder of a buffer gives
/// it back here (under the pool's lock, so the next writer sees the sender done with it).
class BufferPool : public std::enable_shared_from_this<BufferPool> {
public:
    std::shared_ptr<std::string> get()
    {
        std::unique_ptr<std::string> buffer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                buffer = std::move(free_.back());
                free_.pop_back();
            }
        }
        if (!buffer) {
            buffer = std::make_unique<std::string>();
        }
        std::weak_ptr<BufferPool> pool = weak_from_this();
        return std::shared_ptr<std::string>(buffer.release(), [pool](std::string* s) {
            if (auto p = pool.lock()) {
                p->put(s);
            } else {
                delete s;
            }
        });
    }

private:
    void put(std::string* s)
    {
        std::unique_ptr<std::string> owned(s);
        std::lock_guard<std::mutex> lock(mutex_);
        if (free_.size() < 4) {
            free_.push_back(std::move(owned));
        }
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<std::string>> free_;
};

} // namespace

struct BufferedPortCore::Private : public InputSink {
    explicit Private(const ObjectOps& o) : ops(o)
    {
        core.setSink(this);
        core.setMaxMessageLength(ops.maxMessageLength);
    }

    ~Private() override
    {
        core.close();
        std::lock_guard<std::mutex> lock(mutex);
        destroyAll(pending);
        destroyAll(spare);
        if (last && !lastAcquired) {
            ops.destroy(last);
        }
        // Objects still acquired belong to their holders now: never freed under them.
    }

    void destroyAll(std::deque<void*>& list)
    {
        for (void* p : list) {
            ops.destroy(p);
        }
        list.clear();
    }
    void destroyAll(std::vector<void*>& list)
    {
        for (void* p : list) {
            ops.destroy(p);
        }
        list.clear();
    }

    /// Called with `mutex` held; objects that do not fit are returned for destruction.
    void giveSpare(void* obj, std::vector<void*>& doomed)
    {
        if (!closed && spare.size() < spareCapacity) {
            spare.push_back(obj);
        } else {
            doomed.push_back(obj);
        }
    }

    void deliver(const std::shared_ptr<InputConnection>& from, const Message& msg) override
    {
        if (msg.kind == FrameKind::Request) {
            from->sendReply(msg.seq, nullptr, 0, false); // a buffered port never answers
        }
        void* obj = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!spare.empty()) {
                obj = spare.back();
                spare.pop_back();
            }
        }
        if (!obj) {
            obj = ops.create();
        }
        // Decoding happens here, on the connection's thread, outside the lock.
        ConnectionReader reader(msg.data, msg.len);
        const bool ok = ops.decode(obj, reader);

        std::vector<void*> doomed;
        {
            std::unique_lock<std::mutex> lock(mutex);
            if (!ok) {
                if (reportedSources.insert(from->source()).second) {
                    diagnostic("Port %s: dropped a message from %s that is not of this port's type",
                               core.name().c_str(), from->source().c_str());
                }
                giveSpare(obj, doomed);
            } else {
                if (strict) {
                    // Bounded queue: the connection waits (and with it the writer) when full.
                    spaceCv.wait(lock, [&] { return pending.size() < strictCapacity || closed || !strict; });
                }
                if (closed) {
                    doomed.push_back(obj);
                } else {
                    while (!strict && !pending.empty()) { // newest wins: older unread items go
                        giveSpare(pending.front(), doomed);
                        pending.pop_front();
                    }
                    pending.push_back(obj);
                    readCv.notify_all();
                }
            }
        }
        for (void* p : doomed) {
            ops.destroy(p);
        }
    }

    void closing() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        readCv.notify_all();
        spaceCv.notify_all();
    }

    ObjectOps ops;
    mutable std::mutex mutex;
    std::condition_variable readCv;
    std::condition_variable spaceCv;
    std::deque<void*> pending;
    std::vector<void*> spare;
    void* last = nullptr;
    bool lastAcquired = false;
    std::set<void*> acquired;
    std::set<std::string> reportedSources;
    bool strict = false;
    bool closed = false; // set by close(), cleared by open()
    bool interrupted = false;

    std::shared_ptr<BufferPool> buffers = std::make_shared<BufferPool>();
    // Declared last: destroyed (closed, its threads joined) first, while the pool above
    // is still alive for the connection threads that deliver into it.
    PortCore core;
};

BufferedPortCore::BufferedPortCore(const ObjectOps& ops) : p_(std::make_unique<Private>(ops)) {}

BufferedPortCore::~BufferedPortCore() = default;

bool BufferedPortCore::open(const std::string& name)
{
    {
        std::lock_guard<std::mutex> lock(p_->mutex);
        p_->closed = false;
    }
    return p_->core.open(name);
}

void BufferedPortCore::close()
{
    p_->core.close();
    std::lock_guard<std::mutex> lock(p_->mutex);
    p_->closed = true;
    p_->destroyAll(p_->pending);
    p_->destroyAll(p_->spare);
    p_->readCv.notify_all();
}

bool BufferedPortCore::isClosed() const
{
    return !p_->core.isOpen();
}

void BufferedPortCore::interrupt()
{
    p_->core.interrupt();
    std::lock_guard<std::mutex> lock(p_->mutex);
    p_->interrupted = true;
    p_->readCv.notify_all();
}

void BufferedPortCore::resume()
{
    p_->core.resume();
    std::lock_guard<std::mutex> lock(p_->mutex);
    p_->interrupted = false;
}

void BufferedPortCore::setStrict(bool strict)
{
    std::vector<void*> doomed;
    {
        std::lock_guard<std::mutex> lock(p_->mutex);
        p_->strict = strict;
        while (!strict && p_->pending.size() > 1) {
            p_->giveSpare(p_->pending.front(), doomed);
            p_->pending.pop_front();
        }
        p_->spaceCv.notify_all();
    }
    for (void* p : doomed) {
        p_->ops.destroy(p);
    }
}

int BufferedPortCore::getPendingReads()
{
    std::lock_guard<std::mutex> lock(p_->mutex);
    return static_cast<int>(p_->pending.size());
}

void* BufferedPortCore::read(bool shouldWait)
{
    std::vector<void*> doomed;
    void* result = nullptr;
    {
        std::unique_lock<std::mutex> lock(p_->mutex);
        // The object of the previous read() may be reused from here on, unless acquired.
        if (p_->last && !p_->lastAcquired) {
            p_->giveSpare(p_->last, doomed);
        }
        p_->last = nullptr;
        p_->lastAcquired = false;
        auto stop = [&] { return p_->closed || p_->interrupted; };
        if (shouldWait) {
            p_->readCv.wait(lock, [&] { return !p_->pending.empty() || stop(); });
        }
        if (!stop() && !p_->pending.empty()) {
            result = p_->pending.front();
            p_->pending.pop_front();
            p_->last = result;
            p_->spaceCv.notify_all();
        }
    }
    for (void* p : doomed) {
        p_->ops.destroy(p);
    }
    return result;
}

void* BufferedPortCore::lastRead() const
{
    std::lock_guard<std::mutex> lock(p_->mutex);
    return p_->last;
}

void* BufferedPortCore::acquire()
{
    std::lock_guard<std::mutex> lock(p_->mutex);
    if (!p_->last) {
        return nullptr;
    }
    p_->lastAcquired = true;
    p_->acquired.insert(p_->last);
    return p_->last;
}

void BufferedPortCore::release(void* handle)
{
    if (!handle) {
        return;
    }
    std::vector<void*> doomed;
    {
        std::lock_guard<std::mutex> lock(p_->mutex);
        if (p_->acquired.erase(handle) == 0) {
            diagnostic("Port %s: release() of an object that was not acquired; ignored", p_->core.name().c_str());
            return;
        }
        if (handle == p_->last) {
            p_->lastAcquired = false; // still the current object; reused after the next read()
        } else {
            p_->giveSpare(handle, doomed);
        }
    }
    for (void* p : doomed) {
        p_->ops.destroy(p);
    }
}

void BufferedPortCore::write(const PortWriter& msg, bool strict)
{
    if (!p_->core.isOpen()) {
        return;
    }
    std::shared_ptr<std::string> buffer = p_->buffers->get();
    ConnectionWriter writer;
    writer.bytes().swap(*buffer); // encode into the pooled buffer, keeping its capacity
    writer.clear();
    const bool ok = msg.write(writer);
    writer.bytes().swap(*buffer);
    if (!ok) {
        return;
    }
    std::shared_ptr<const std::string> message = std::move(buffer);
    for (const auto& conn : p_->core.outputs()) {
        conn->post(message, strict);
    }
}

void BufferedPortCore::waitForWrite()
{
    for (const auto& conn : p_->core.outputs()) {
        conn->waitIdle();
    }
}

std::string BufferedPortCore::getName() const
{
    return p_->core.isOpen() ? p_->core.name() : std::string();
}

int BufferedPortCore::getInputCount()
{
    return p_->core.inputCount();
}

int BufferedPortCore::getOutputCount()
{
    return p_->core.outputCount();
}

} // namespace yarp::os::impl
