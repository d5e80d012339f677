// Feeds arbitrary bytes to the wire decoders of Bottle, Property and Value. A decoder must
// refuse malformed input without crashing, and whatever it accepts must encode back to a
// stable form.
#include <cstddef>
#include <cstdint>
#include <string>

#include <yarp/os/Bottle.h>
#include <yarp/os/Property.h>
#include <yarp/os/Value.h>

#include "fuzz_check.h"

namespace {

template <class T>
void checkDecoder(const char* data, std::size_t size)
{
    yarp::os::ConnectionReader reader(data, size);
    T decoded;
    if (!decoded.read(reader)) {
        return;
    }
    yarp::os::ConnectionWriter first;
    FUZZ_CHECK(decoded.write(first));
    yarp::os::ConnectionReader again(first.bytes().data(), first.bytes().size());
    T redecoded;
    FUZZ_CHECK(redecoded.read(again));
    FUZZ_CHECK(again.atEnd());
    yarp::os::ConnectionWriter second;
    FUZZ_CHECK(redecoded.write(second));
    FUZZ_CHECK(first.bytes() == second.bytes());
    // The text form must be printable for anything accepted from the wire.
    (void)decoded.toString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    checkDecoder<yarp::os::Bottle>(bytes, size);
    checkDecoder<yarp::os::Property>(bytes, size);
    checkDecoder<yarp::os::Value>(bytes, size);
    return 0;
}
