#pragma once
// A port that streams objects of one type (Bottle, Vector, ImageOf<PixelRgb>, ...) in the
// background, with the newest-item semantics sensors want.
#include <string>

#include <yarp/os/impl/BufferedPortCore.h>

namespace yarp::os {

/**
 * Writing: prepare() gives the object to fill, write() encodes it and returns at once while
 * background senders deliver it to every output connection. A connection still busy with
 * the previous object is skipped by write() and waited for by writeStrict(), so a slow
 * reader never holds up the writer nor makes anything pile up.
 *
 * Reading: by default (non-strict) the port keeps only the newest unread object; an older
 * one is dropped when a newer one arrives. With setStrict(), up to 64 unread objects are
 * kept and further writers wait. read() returns an object that stays valid until the next
 * read() on this port; acquire() takes it over until release(), which may be called from any
 * thread. interrupt() and close() make a blocked read(true) return nullptr.
 *
 * Objects acquired and not released when the port is destroyed are left to their holder
 * (never freed under it); release them before destroying the port.
 */
template <class T>
class BufferedPort {
public:
    using ContentType = T;

    BufferedPort() : core_(ops()) {}
    BufferedPort(const BufferedPort&) = delete;
    BufferedPort& operator=(const BufferedPort&) = delete;
    ~BufferedPort() = default;

    /// Registers the port; false with one diagnostic line when the name is taken or invalid.
    bool open(const std::string& name) { return core_.open(name); }
    void close() { core_.close(); }
    bool isClosed() { return core_.isClosed(); }
    void interrupt() { core_.interrupt(); }
    void resume() { core_.resume(); }

    /// The object the next write() sends; it keeps whatever it held last time.
    T& prepare() { return prepared_; }
    void write(bool forceStrict = false) { core_.write(prepared_, forceStrict); }
    void writeStrict() { write(true); }
    /// Waits until everything written so far has been handed to the connections.
    void waitForWrite() { core_.waitForWrite(); }

    /// The next unread object (waiting for one when `shouldWait`), or nullptr when there is
    /// none, or the port is closed or interrupted.
    T* read(bool shouldWait = true) { return static_cast<T*>(core_.read(shouldWait)); }
    /// The object returned by the last read(), or nullptr.
    T* lastRead() { return static_cast<T*>(core_.lastRead()); }
    void setStrict(bool strict = true) { core_.setStrict(strict); }
    /// Number of objects received and not read yet.
    int getPendingReads() { return core_.getPendingReads(); }
    /// Takes over the object last read: the port will not reuse it until release(handle).
    void* acquire() { return core_.acquire(); }
    void release(void* handle) { core_.release(handle); }

    std::string getName() const { return core_.getName(); }
    int getInputCount() { return core_.getInputCount(); }
    int getOutputCount() { return core_.getOutputCount(); }

private:
    static const impl::ObjectOps& ops()
    {
        static const impl::ObjectOps table{
            []() -> void* { return new T(); },
            [](void* p) { delete static_cast<T*>(p); },
            [](void* p, ConnectionReader& r) { return static_cast<T*>(p)->read(r); },
            impl::messageLimitOf<T>(),
        };
        return table;
    }

    impl::BufferedPortCore core_;
    T prepared_;
};

} // namespace yarp::os
