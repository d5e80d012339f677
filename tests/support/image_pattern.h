#pragma once
// A numbered image pattern whose corruption is detectable: a test streams painted frames and
// checks that each arrives whole (no torn, refilled or mixed image) and in order.
#include <yarp/sig/Image.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ac_test {

/// Fills the image with a pattern derived from `frame`; the frame number sits in the first
/// four bytes.
inline void paint_frame(yarp::sig::ImageOf<yarp::sig::PixelRgb>& image, std::uint32_t frame)
{
    unsigned char* raw = image.getRawImage();
    const std::size_t size = image.getRawImageSize();
    for (std::size_t i = 4; i < size; ++i) {
        raw[i] = static_cast<unsigned char>((i * 7 + frame) & 0xff);
    }
    std::memcpy(raw, &frame, size < 4 ? size : 4);
}

/// The frame number of a painted image, or -1 when any byte breaks the pattern.
inline long frame_of(const yarp::sig::ImageOf<yarp::sig::PixelRgb>& image)
{
    const unsigned char* raw = image.getRawImage();
    const std::size_t size = image.getRawImageSize();
    if (size < 4) {
        return -1;
    }
    std::uint32_t frame = 0;
    std::memcpy(&frame, raw, 4);
    for (std::size_t i = 4; i < size; ++i) {
        if (raw[i] != static_cast<unsigned char>((i * 7 + frame) & 0xff)) {
            return -1;
        }
    }
    return static_cast<long>(frame);
}

} // namespace ac_test
