// Vector and image containers: the joint vectors and camera images agents exchange.
#include <cstring>
#include <type_traits>
#include <utility>

#include <gtest/gtest.h>

#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

using yarp::sig::PixelRgb;
using yarp::sig::Vector;
using RgbImage = yarp::sig::ImageOf<PixelRgb>;

TEST(VectorApi, SizeFillAccessAndText)
{
    Vector v;
    EXPECT_EQ(v.size(), 0u);
    v.resize(3);
    EXPECT_EQ(v[0] + v[1] + v[2], 0.0);
    v.resize(5, 2.5);
    EXPECT_EQ(v[4], 2.5);
    EXPECT_EQ(v[2], 0.0);
    v[1] = -1.25;
    v.data()[0] = 4;
    v.push_back(1e-7);
    EXPECT_EQ(v.size(), 6u);
    EXPECT_EQ(v.toString(), "4 -1.25 0 2.5 2.5 1e-07");
    EXPECT_EQ(v.toString(2), "4.00 -1.25 0.00 2.50 2.50 0.00");
    EXPECT_EQ(v.toString(1, 6), "   4.0   -1.2    0.0    2.5    2.5    0.0");

    const Vector copy = v;
    v.zero();
    EXPECT_EQ(copy[0], 4.0);
    EXPECT_EQ(v[0], 0.0);
    EXPECT_EQ(v.size(), 6u);
    v.clear();
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(Vector(6).size(), 6u);
}

TEST(ImageApi, PixelRawAndRowAccessAgree)
{
    static_assert(sizeof(PixelRgb) == 3);
    static_assert(std::is_nothrow_move_constructible_v<RgbImage> && std::is_nothrow_move_assignable_v<RgbImage>);
    // No assignment through the untyped base: an RGB image cannot become a mono one.
    static_assert(!std::is_copy_assignable_v<yarp::sig::Image>);
    RgbImage image;
    EXPECT_EQ(image.getRawImage(), nullptr);
    image.resize(320, 240);
    EXPECT_EQ(image.width(), 320u);
    EXPECT_EQ(image.height(), 240u);
    EXPECT_EQ(image.getRowSize(), 320u * 3);
    EXPECT_EQ(image.getRawImageSize(), 320u * 240 * 3);
    EXPECT_EQ(image.pixel(319, 239), PixelRgb(0, 0, 0)); // a fresh image is black

    image.pixel(10, 20) = PixelRgb(1, 2, 3); // x is the column, y the row
    const unsigned char* raw = image.getRawImage() + 20 * image.getRowSize() + 10 * 3;
    EXPECT_EQ(raw[0], 1);
    EXPECT_EQ(raw[1], 2);
    EXPECT_EQ(raw[2], 3);
    image.getRawImage()[image.getRawImageSize() - 1] = 77;
    EXPECT_EQ(image.pixel(319, 239).b, 77);
}

TEST(ImageApi, ResizeKeepsOrReplacesTheBuffer)
{
    RgbImage image;
    image.resize(4, 4);
    image.pixel(0, 0) = PixelRgb(9, 9, 9);
    const unsigned char* buffer = image.getRawImage();
    image.resize(4, 4);
    EXPECT_EQ(image.getRawImage(), buffer);
    EXPECT_EQ(image.pixel(0, 0).r, 9);
    image.resize(8, 8);
    EXPECT_EQ(image.pixel(0, 0).r, 0); // a new size starts black
    image.resize(0, 5);
    EXPECT_EQ(image.getRawImageSize(), 0u);
    image.resize(static_cast<std::size_t>(-1), 2); // byte count overflows: refused, empty
    EXPECT_EQ(image.width(), 0u);
    EXPECT_EQ(image.getRawImage(), nullptr);
}

TEST(ImageApi, CopiesAreDeepAndMovesTransferTheBuffer)
{
    RgbImage image;
    image.resize(6, 2);
    image.pixel(5, 1) = PixelRgb(4, 5, 6);
    RgbImage copy = image;
    copy.pixel(5, 1).r = 0;
    EXPECT_EQ(image.pixel(5, 1).r, 4);
    EXPECT_NE(copy.getRawImage(), image.getRawImage());

    const unsigned char* buffer = image.getRawImage();
    RgbImage moved = std::move(image);
    EXPECT_EQ(moved.getRawImage(), buffer);
    EXPECT_EQ(moved.pixel(5, 1), PixelRgb(4, 5, 6));
    EXPECT_EQ(image.width(), 0u); // NOLINT(bugprone-use-after-move): documented state
    image = copy;
    EXPECT_EQ(image.pixel(5, 1).g, 5);
}

TEST(ImageWire, DecodingIntoAnImageOfTheSameSizeReusesItsBuffer)
{
    RgbImage sent;
    sent.resize(64, 48);
    yarp::os::ConnectionWriter writer;
    RgbImage received;
    received.resize(64, 48);
    const unsigned char* buffer = received.getRawImage();
    for (unsigned char frame = 1; frame <= 3; ++frame) {
        sent.pixel(63, 47) = PixelRgb(frame, frame, frame);
        writer.clear();
        ASSERT_TRUE(sent.write(writer));
        yarp::os::ConnectionReader reader(writer.bytes().data(), writer.bytes().size());
        ASSERT_TRUE(received.read(reader));
        EXPECT_TRUE(reader.atEnd());
        EXPECT_EQ(received.getRawImage(), buffer);
        EXPECT_EQ(received.pixel(63, 47).r, frame);
    }
}
