// Feeds arbitrary bytes to the wire decoder of Vector: refused or decoded exactly.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <yarp/sig/Vector.h>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    yarp::os::ConnectionReader reader(bytes, size);
    yarp::sig::Vector decoded;
    if (!decoded.read(reader)) {
        FUZZ_CHECK(decoded.size() == 0);
        return 0;
    }
    // Accepted input is re-encoded byte for byte.
    const std::size_t consumed = size - reader.remaining();
    yarp::os::ConnectionWriter writer;
    FUZZ_CHECK(decoded.write(writer));
    FUZZ_CHECK(writer.bytes().size() == consumed);
    FUZZ_CHECK(std::memcmp(writer.bytes().data(), bytes, consumed) == 0);
    (void)decoded.toString();
    (void)decoded.toString(3, 8);
    return 0;
}
