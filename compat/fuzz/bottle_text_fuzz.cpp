// Feeds arbitrary text to Bottle::fromString. Parsing must not crash, and printing is a
// fixed point: the text of a parsed bottle parses back to a bottle with the same text.
#include <cstddef>
#include <cstdint>
#include <string>

#include <yarp/os/Bottle.h>
#include <yarp/os/Property.h>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    yarp::os::Bottle parsed(text);
    const std::string printed = parsed.toString();
    yarp::os::Bottle reparsed(printed);
    FUZZ_CHECK(reparsed.size() == parsed.size());
    FUZZ_CHECK(reparsed.toString() == printed);

    // Whatever the parser builds must also survive the wire form.
    yarp::os::ConnectionWriter writer;
    FUZZ_CHECK(parsed.write(writer));
    yarp::os::ConnectionReader reader(writer.bytes().data(), writer.bytes().size());
    yarp::os::Bottle decoded;
    FUZZ_CHECK(decoded.read(reader));
    FUZZ_CHECK(decoded.toString() == printed);

    yarp::os::Property property(text);
    (void)property.toString();
    return 0;
}
