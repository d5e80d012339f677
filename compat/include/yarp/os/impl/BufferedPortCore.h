#pragma once
// Type-independent machinery of BufferedPort<T>: the objects it hands out are managed here
// as untyped pointers with the three operations the template supplies.
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include <yarp/os/ConnectionReader.h>
#include <yarp/os/PortWriter.h>
#include <yarp/os/impl/MessageLimits.h>

namespace yarp::sig {
class Image;
}

namespace yarp::os::impl {

/// How BufferedPortCore creates, destroys and fills the objects of one BufferedPort<T>.
struct ObjectOps {
    void* (*create)();
    void (*destroy)(void*);
    bool (*decode)(void*, ConnectionReader&);
    std::uint64_t maxMessageLength; ///< longest message the port takes from a connection
};

/// Longest message a buffered port of T takes: images are the only large messages.
template <class T>
constexpr std::uint64_t messageLimitOf()
{
    return std::is_base_of<yarp::sig::Image, T>::value ? imageMessageLimit : defaultMessageLimit;
}

class BufferedPortCore {
public:
    explicit BufferedPortCore(const ObjectOps& ops);
    BufferedPortCore(const BufferedPortCore&) = delete;
    BufferedPortCore& operator=(const BufferedPortCore&) = delete;
    ~BufferedPortCore();

    bool open(const std::string& name);
    void close();
    bool isClosed() const;
    void interrupt();
    void resume();

    void setStrict(bool strict);
    int getPendingReads();
    void* read(bool shouldWait);
    void* lastRead() const;
    void* acquire();
    void release(void* handle);

    /// Encodes `msg` now and hands the bytes to every output connection's sender.
    void write(const PortWriter& msg, bool strict);
    void waitForWrite();

    std::string getName() const;
    int getInputCount();
    int getOutputCount();

private:
    struct Private;
    std::unique_ptr<Private> p_;
};

} // namespace yarp::os::impl
