// Feeds arbitrary bytes to the wire decoder of ImageOf<PixelRgb>, both into a fresh image
// and into one that already holds a buffer (the in-place path a stream reader takes).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <yarp/sig/Image.h>

#include "fuzz_check.h"

namespace {

using RgbImage = yarp::sig::ImageOf<yarp::sig::PixelRgb>;

void checkDecoded(const RgbImage& image, const char* bytes, std::size_t consumed)
{
    FUZZ_CHECK(image.getRawImageSize() == image.width() * image.height() * 3);
    FUZZ_CHECK(image.getRowSize() == image.width() * 3);
    yarp::os::ConnectionWriter writer;
    FUZZ_CHECK(image.write(writer));
    FUZZ_CHECK(writer.bytes().size() == consumed);
    FUZZ_CHECK(std::memcmp(writer.bytes().data(), bytes, consumed) == 0);
    if (image.width() > 0 && image.height() > 0) {
        // Touch the last pixel: the buffer must really be as large as claimed.
        const auto& last = image.pixel(image.width() - 1, image.height() - 1);
        FUZZ_CHECK(last.r == static_cast<unsigned char>(bytes[consumed - 3]));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    RgbImage fresh;
    yarp::os::ConnectionReader reader(bytes, size);
    if (fresh.read(reader)) {
        checkDecoded(fresh, bytes, size - reader.remaining());
    } else {
        FUZZ_CHECK(fresh.width() == 0 && fresh.height() == 0);
    }

    RgbImage reused;
    reused.resize(4, 3);
    yarp::os::ConnectionReader second(bytes, size);
    if (reused.read(second)) {
        checkDecoded(reused, bytes, size - second.remaining());
    }

    // A mono image must refuse colour data.
    yarp::sig::ImageOf<yarp::sig::PixelMono> mono;
    yarp::os::ConnectionReader third(bytes, size);
    if (mono.read(third)) {
        FUZZ_CHECK(mono.getRawImageSize() == mono.width() * mono.height());
    }
    return 0;
}
