#include <yarp/sig/Image.h>

#include <cstring>
#include <limits>
#include <utility>

namespace yarp::sig {

namespace {

constexpr std::int32_t imageWireTag = 0x31474d49; // "IMG1"

/// width * height * pixelSize, or false when it does not fit in size_t.
bool byteCount(std::size_t width, std::size_t height, std::size_t pixelSize, std::size_t& bytes)
{
    const std::size_t max = std::numeric_limits<std::size_t>::max();
    if (pixelSize != 0 && width > max / pixelSize) {
        return false;
    }
    const std::size_t row = width * pixelSize;
    if (row != 0 && height > max / row) {
        return false;
    }
    bytes = row * height;
    return true;
}

} // namespace

Image::Image(std::size_t pixelSize, yarp::conf::vocab32_t pixelCode) : pixelSize_(pixelSize), pixelCode_(pixelCode) {}

Image::Image(const Image& other)
    : Portable(), pixelSize_(other.pixelSize_), pixelCode_(other.pixelCode_), width_(other.width_),
      height_(other.height_)
{
    const std::size_t bytes = getRawImageSize();
    if (bytes > 0) {
        data_.reset(new unsigned char[bytes]);
        std::memcpy(data_.get(), other.data_.get(), bytes);
    }
}

Image::Image(Image&& other) noexcept
    : Portable(), pixelSize_(other.pixelSize_), pixelCode_(other.pixelCode_), width_(other.width_),
      height_(other.height_), data_(std::move(other.data_))
{
    other.width_ = 0;
    other.height_ = 0;
}

Image& Image::operator=(const Image& other)
{
    if (this == &other) {
        return *this;
    }
    const std::size_t bytes = other.getRawImageSize();
    if (bytes != getRawImageSize() || (bytes > 0 && !data_)) {
        data_.reset(bytes > 0 ? new unsigned char[bytes] : nullptr);
    }
    pixelSize_ = other.pixelSize_;
    pixelCode_ = other.pixelCode_;
    width_ = other.width_;
    height_ = other.height_;
    if (bytes > 0) {
        std::memcpy(data_.get(), other.data_.get(), bytes);
    }
    return *this;
}

Image& Image::operator=(Image&& other) noexcept
{
    if (this != &other) {
        pixelSize_ = other.pixelSize_;
        pixelCode_ = other.pixelCode_;
        width_ = other.width_;
        height_ = other.height_;
        data_ = std::move(other.data_);
        other.width_ = 0;
        other.height_ = 0;
    }
    return *this;
}

Image::~Image() = default;

void Image::resize(std::size_t width, std::size_t height)
{
    std::size_t bytes = 0;
    if (!byteCount(width, height, pixelSize_, bytes)) {
        clear();
        return;
    }
    if (bytes != getRawImageSize() || (bytes > 0 && !data_)) {
        // Zeroed, so a fresh image never exposes uninitialised memory.
        data_.reset(bytes > 0 ? new unsigned char[bytes]() : nullptr);
    }
    width_ = width;
    height_ = height;
}

void Image::zero()
{
    if (data_) {
        std::memset(data_.get(), 0, getRawImageSize());
    }
}

void Image::clear()
{
    data_.reset();
    width_ = 0;
    height_ = 0;
}

bool Image::write(yarp::os::ConnectionWriter& writer) const
{
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    if (width_ > static_cast<std::size_t>(max) || height_ > static_cast<std::size_t>(max)
        || pixelSize_ > static_cast<std::size_t>(max)) {
        return false;
    }
    const std::size_t bytes = getRawImageSize();
    std::string& out = writer.bytes();
    out.reserve(out.size() + 5 * sizeof(std::int32_t) + bytes);
    writer.appendInt32(imageWireTag);
    writer.appendInt32(pixelCode_);
    writer.appendInt32(static_cast<std::int32_t>(pixelSize_));
    writer.appendInt32(static_cast<std::int32_t>(width_));
    writer.appendInt32(static_cast<std::int32_t>(height_));
    if (bytes > 0) {
        writer.appendBlock(reinterpret_cast<const char*>(data_.get()), bytes);
    }
    return true;
}

bool Image::read(yarp::os::ConnectionReader& reader)
{
    std::int32_t tag = 0;
    std::int32_t code = 0;
    std::int32_t pixelSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t bytes = 0;
    const bool headerOk = reader.expectInt32(tag) && tag == imageWireTag && reader.expectInt32(code)
        && code == pixelCode_ && reader.expectInt32(pixelSize) && pixelSize >= 0
        && static_cast<std::size_t>(pixelSize) == pixelSize_ && reader.expectInt32(width) && width >= 0
        && reader.expectInt32(height) && height >= 0
        && byteCount(static_cast<std::size_t>(width), static_cast<std::size_t>(height), pixelSize_, bytes)
        && bytes <= reader.remaining();
    if (!headerOk) {
        clear();
        return false;
    }
    // Checked against the bytes present before resizing, so a forged size cannot allocate.
    resize(static_cast<std::size_t>(width), static_cast<std::size_t>(height));
    if (bytes > 0 && !reader.expectBlock(reinterpret_cast<char*>(data_.get()), bytes)) {
        clear();
        return false;
    }
    return true;
}

} // namespace yarp::sig
