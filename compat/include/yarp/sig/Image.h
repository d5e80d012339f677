#pragma once
// Images: a pixel buffer with rows stored top to bottom, tightly packed (row size = width *
// pixel size), and a compact wire form (small header + raw rows).
#include <cstddef>
#include <cstdint>
#include <memory>

#include <yarp/conf/numeric.h>
#include <yarp/os/Portable.h>
#include <yarp/os/Vocab.h>

namespace yarp::sig {

/// Pixel type codes carried on the wire so that an image is never decoded as another type.
constexpr yarp::conf::vocab32_t VOCAB_PIXEL_RGB = yarp::os::createVocab32('r', 'g', 'b');
constexpr yarp::conf::vocab32_t VOCAB_PIXEL_BGR = yarp::os::createVocab32('b', 'g', 'r');
constexpr yarp::conf::vocab32_t VOCAB_PIXEL_MONO = yarp::os::createVocab32('m', 'o', 'n', 'o');

/// One colour pixel: three bytes, red, green, blue, in that order.
struct PixelRgb {
    unsigned char r = 0;
    unsigned char g = 0;
    unsigned char b = 0;

    constexpr PixelRgb() = default;
    constexpr PixelRgb(unsigned char red, unsigned char green, unsigned char blue) : r(red), g(green), b(blue) {}
    constexpr bool operator==(const PixelRgb& o) const { return r == o.r && g == o.g && b == o.b; }
    constexpr bool operator!=(const PixelRgb& o) const { return !(*this == o); }
};
static_assert(sizeof(PixelRgb) == 3, "PixelRgb is three packed bytes");

/// One colour pixel with the channels in blue, green, red order.
struct PixelBgr {
    unsigned char b = 0;
    unsigned char g = 0;
    unsigned char r = 0;

    constexpr PixelBgr() = default;
    constexpr PixelBgr(unsigned char red, unsigned char green, unsigned char blue) : b(blue), g(green), r(red) {}
    constexpr bool operator==(const PixelBgr& o) const { return r == o.r && g == o.g && b == o.b; }
    constexpr bool operator!=(const PixelBgr& o) const { return !(*this == o); }
};
static_assert(sizeof(PixelBgr) == 3, "PixelBgr is three packed bytes");

using PixelMono = unsigned char;

/// Pixel type code of a pixel type (0 for types the layer does not name).
template <class T>
struct PixelCode {
    static constexpr yarp::conf::vocab32_t value = 0;
};
template <>
struct PixelCode<PixelRgb> {
    static constexpr yarp::conf::vocab32_t value = VOCAB_PIXEL_RGB;
};
template <>
struct PixelCode<PixelBgr> {
    static constexpr yarp::conf::vocab32_t value = VOCAB_PIXEL_BGR;
};
template <>
struct PixelCode<PixelMono> {
    static constexpr yarp::conf::vocab32_t value = VOCAB_PIXEL_MONO;
};

/// Untyped image: the buffer, its geometry and the wire form. Use ImageOf<T>.
class Image : public yarp::os::Portable {
public:
    ~Image() override;

    /// Sets the size; the buffer is kept when its byte size does not change, otherwise a
    /// new zeroed buffer replaces it. A size whose byte count overflows leaves 0x0.
    void resize(std::size_t width, std::size_t height);
    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    std::size_t getPixelSize() const { return pixelSize_; }
    yarp::conf::vocab32_t getPixelCode() const { return pixelCode_; }
    /// Bytes per row (rows are tightly packed: width * pixel size).
    std::size_t getRowSize() const { return width_ * pixelSize_; }
    /// First byte of the top row; nullptr for an empty image.
    unsigned char* getRawImage() const { return data_.get(); }
    std::size_t getRawImageSize() const { return width_ * height_ * pixelSize_; }
    /// First byte of row `y` (no bounds check).
    unsigned char* getRow(std::size_t y) const { return data_.get() + y * getRowSize(); }
    /// Sets every byte to zero.
    void zero();
    /// Frees the buffer (0x0).
    void clear();

    /// Wire form: tag, pixel code, pixel size, width, height, then the raw rows.
    bool write(yarp::os::ConnectionWriter& writer) const override;
    /// Refuses (returns false, leaves the image 0x0) another pixel type, a negative size or
    /// a pixel count larger than the bytes actually present. An image of the same size as
    /// the incoming one is filled in place without reallocating.
    bool read(yarp::os::ConnectionReader& reader) override;

protected:
    Image(std::size_t pixelSize, yarp::conf::vocab32_t pixelCode);
    // Copy and move only through ImageOf<T>, so an image can never take another pixel type
    // by assignment through a base reference.
    Image(const Image& other);
    Image(Image&& other) noexcept;
    Image& operator=(const Image& other);
    Image& operator=(Image&& other) noexcept;

private:
    std::size_t pixelSize_;
    yarp::conf::vocab32_t pixelCode_;
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    std::unique_ptr<unsigned char[]> data_;
};

/// Image of pixels of type T, e.g. ImageOf<PixelRgb>. Copyable; moving is O(1).
template <class T>
class ImageOf : public Image {
public:
    ImageOf() : Image(sizeof(T), PixelCode<T>::value) {}

    /// Pixel at column x, row y (no bounds check).
    T& pixel(std::size_t x, std::size_t y) { return reinterpret_cast<T*>(getRow(y))[x]; }
    const T& pixel(std::size_t x, std::size_t y) const { return reinterpret_cast<const T*>(getRow(y))[x]; }
    T& operator()(std::size_t x, std::size_t y) { return pixel(x, y); }
    const T& operator()(std::size_t x, std::size_t y) const { return pixel(x, y); }
    /// True when (x, y) lies inside the image.
    bool isPixel(std::size_t x, std::size_t y) const { return x < width() && y < height(); }
};

} // namespace yarp::sig
