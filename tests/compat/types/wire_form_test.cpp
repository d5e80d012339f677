// Wire form of every value type: exact round trips, and refusal of anything malformed
// (truncated, forged lengths, wrong types, hostile nesting) without crash or over-read.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <yarp/os/Bottle.h>
#include <yarp/os/Property.h>
#include <yarp/os/Value.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

using yarp::os::Bottle;
using yarp::os::ConnectionReader;
using yarp::os::ConnectionWriter;
using yarp::os::Property;
using yarp::os::Value;
using RgbImage = yarp::sig::ImageOf<yarp::sig::PixelRgb>;

namespace {

template <class T>
std::string encode(const T& object)
{
    ConnectionWriter writer;
    EXPECT_TRUE(object.write(writer));
    return writer.bytes();
}

template <class T>
bool decode(const std::string& bytes, T& out)
{
    ConnectionReader reader(bytes.data(), bytes.size());
    return out.read(reader);
}

/// Every strict prefix of a valid message must be refused, and leave the object empty.
template <class T>
void expectEveryTruncationRefused(const std::string& bytes, const std::string& what)
{
    for (std::size_t len = 0; len < bytes.size(); ++len) {
        T decoded;
        const std::string cut = bytes.substr(0, len);
        EXPECT_FALSE(decode(cut, decoded)) << what << " truncated to " << len;
    }
}

void putInt32(std::string& bytes, std::size_t at, std::int32_t v)
{
    std::memcpy(&bytes[at], &v, sizeof v);
}

Bottle randomBottle(std::mt19937& rng, int depth)
{
    Bottle b;
    const int n = static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        switch (rng() % 6) {
        case 0: b.addInt32(static_cast<std::int32_t>(rng())); break;
        case 1: b.addInt64((static_cast<std::int64_t>(rng()) << 32) | rng()); break;
        case 2: b.addFloat64(std::ldexp(static_cast<double>(rng()) - 2e9, static_cast<int>(rng() % 200) - 100)); break;
        case 3: {
            std::string s;
            for (unsigned k = rng() % 8; k > 0; --k) {
                s += static_cast<char>(rng() % 256);
            }
            b.addString(s);
            break;
        }
        case 4: b.addVocab32(static_cast<std::int32_t>(rng())); break;
        default:
            if (depth < 4) {
                b.addList() = randomBottle(rng, depth + 1);
            }
        }
    }
    return b;
}

} // namespace

TEST(WireRoundTrip, RandomBottlesSurviveWireAndText)
{
    std::mt19937 rng(42);
    for (int i = 0; i < 500; ++i) {
        const Bottle original = randomBottle(rng, 0);
        Bottle decoded("stale content");
        ASSERT_TRUE(decode(encode(original), decoded)) << original.toString();
        ASSERT_EQ(decoded, original) << original.toString();

        // Text keeps every value except that small int64 read back as int32.
        const Bottle fromText(original.toString());
        ASSERT_EQ(fromText.toString(), original.toString());
        ASSERT_EQ(fromText.size(), original.size());
    }
}

TEST(WireRoundTrip, PropertyValueVectorAndImage)
{
    Property p;
    p.put("device", "remote_controlboard");
    p.put("axes", 6);
    p.put("gain", 0.25);
    p.put("list", Value(Bottle("1 (2 three)")));
    Property pBack;
    ASSERT_TRUE(decode(encode(p), pBack));
    EXPECT_EQ(pBack.toString(), p.toString());

    for (const Value& v : {Value(), Value(-5), Value(-(std::int64_t{1} << 50)), Value(1.5), Value(std::string("x y")),
                           Value(std::string("idl"), true), Value(Bottle("a (b)"))}) {
        Value back(std::string("stale"));
        ASSERT_TRUE(decode(encode(v), back)) << v.toString();
        EXPECT_EQ(back, v);
    }

    yarp::sig::Vector vec{0.1, -2.0, 3e10, std::numeric_limits<double>::infinity()};
    yarp::sig::Vector vecBack(3, 9.0);
    ASSERT_TRUE(decode(encode(vec), vecBack));
    EXPECT_EQ(vecBack, vec);
    yarp::sig::Vector empty;
    ASSERT_TRUE(decode(encode(empty), vecBack));
    EXPECT_EQ(vecBack.size(), 0u);

    RgbImage image;
    image.resize(5, 3);
    for (std::size_t y = 0; y < 3; ++y) {
        for (std::size_t x = 0; x < 5; ++x) {
            image.pixel(x, y) = yarp::sig::PixelRgb(static_cast<unsigned char>(x), static_cast<unsigned char>(y), 200);
        }
    }
    RgbImage imageBack;
    ASSERT_TRUE(decode(encode(image), imageBack));
    ASSERT_EQ(imageBack.width(), 5u);
    ASSERT_EQ(imageBack.height(), 3u);
    EXPECT_EQ(std::memcmp(imageBack.getRawImage(), image.getRawImage(), image.getRawImageSize()), 0);
}

TEST(WireRefusal, TruncatedMessagesAreRefused)
{
    expectEveryTruncationRefused<Bottle>(encode(Bottle("a 1 2.5 \"s t\" [pos] (x (y 3)) 99999999999")), "bottle");
    Property p;
    p.put("device", "remote_controlboard");
    p.put("n", 1);
    expectEveryTruncationRefused<Property>(encode(p), "property");
    expectEveryTruncationRefused<Value>(encode(Value(Bottle("1 2"))), "value");
    expectEveryTruncationRefused<yarp::sig::Vector>(encode(yarp::sig::Vector{1, 2, 3}), "vector");
    RgbImage image;
    image.resize(3, 2);
    expectEveryTruncationRefused<RgbImage>(encode(image), "image");
}

TEST(WireRefusal, ForgedLengthsAreRefusedBeforeAllocating)
{
    // Bottle: tag, count, then one string element whose length claims far more than is there.
    std::string bottle = encode(Bottle("\"hello\""));
    putInt32(bottle, 4, std::numeric_limits<std::int32_t>::max()); // element count
    Bottle b;
    EXPECT_FALSE(decode(bottle, b));
    bottle = encode(Bottle("\"hello\""));
    putInt32(bottle, 9, 1 << 30); // string length
    EXPECT_FALSE(decode(bottle, b));
    putInt32(bottle, 9, -1);
    EXPECT_FALSE(decode(bottle, b));
    EXPECT_EQ(b.size(), 0u);

    // Vector: a count of 2^31-1 doubles in a 12-byte message.
    std::string vec = encode(yarp::sig::Vector{1.0});
    putInt32(vec, 8, std::numeric_limits<std::int32_t>::max());
    yarp::sig::Vector v{5.0};
    EXPECT_FALSE(decode(vec, v));
    EXPECT_EQ(v.size(), 0u);
    putInt32(vec, 8, -3);
    EXPECT_FALSE(decode(vec, v));

    // Image: header fields at 4-byte offsets: tag, code, pixel size, width, height.
    RgbImage image;
    image.resize(2, 2);
    const std::string good = encode(image);
    const std::pair<std::size_t, std::int32_t> forgeries[] = {
        {12, 1 << 30}, {16, 1 << 30}, {12, -1}, {16, -2}, {8, 1}, {8, 4}, {4, 0}, {0, 0}};
    for (const auto& [offset, value] : forgeries) {
        std::string bad = good;
        putInt32(bad, offset, value);
        RgbImage decoded;
        decoded.resize(7, 7);
        EXPECT_FALSE(decode(bad, decoded)) << "offset " << offset;
        EXPECT_EQ(decoded.width(), 0u);
        EXPECT_EQ(decoded.getRawImage(), nullptr);
    }
    // Width * height overflowing 32 bits must not wrap to a small buffer.
    std::string overflow = good;
    putInt32(overflow, 12, 0x10000);
    putInt32(overflow, 16, 0x10000);
    RgbImage decoded;
    EXPECT_FALSE(decode(overflow, decoded));
}

TEST(WireRefusal, WrongTypesAndUnknownCodesAreRefused)
{
    const std::string vectorBytes = encode(yarp::sig::Vector{1, 2});
    const std::string bottleBytes = encode(Bottle("1 2"));
    RgbImage image;
    image.resize(1, 1);
    const std::string imageBytes = encode(image);

    Bottle b;
    EXPECT_FALSE(decode(vectorBytes, b));
    EXPECT_FALSE(decode(imageBytes, b));
    yarp::sig::Vector v;
    EXPECT_FALSE(decode(bottleBytes, v));
    yarp::sig::VectorOf<std::int64_t> ints;
    EXPECT_FALSE(decode(vectorBytes, ints)); // same element size, different kind
    yarp::sig::ImageOf<yarp::sig::PixelMono> mono;
    EXPECT_FALSE(decode(imageBytes, mono));
    yarp::sig::ImageOf<yarp::sig::PixelBgr> bgr;
    EXPECT_FALSE(decode(imageBytes, bgr)); // same pixel size, different order

    std::string unknownElement = bottleBytes;
    unknownElement[8] = 42; // type byte of the first element
    EXPECT_FALSE(decode(unknownElement, b));
    std::string nullElement = bottleBytes;
    nullElement[8] = 0; // null is not a valid list element
    EXPECT_FALSE(decode(nullElement, b));
}

TEST(WireRefusal, HostileNestingIsBounded)
{
    // Each level: type byte "list" then a count of 1; far deeper than the limit.
    ConnectionWriter writer;
    writer.appendInt32(0x31544f42); // bottle tag
    writer.appendInt32(1);
    for (int i = 0; i < 100000; ++i) {
        writer.appendInt8(6);
        writer.appendInt32(1);
    }
    writer.appendInt8(1);
    writer.appendInt32(7);
    Bottle b;
    EXPECT_FALSE(decode(writer.bytes(), b));

    // Exactly at the limit the same shape is accepted.
    Bottle deep;
    Bottle* level = &deep;
    for (int i = 0; i < Bottle::maxNesting; ++i) {
        level = &level->addList();
    }
    level->addInt32(7);
    Bottle back;
    ASSERT_TRUE(decode(encode(deep), back));
    EXPECT_EQ(back, deep);
}

TEST(WireRefusal, NullElementsAreLeftOut)
{
    Bottle b;
    b.addInt32(1);
    b.add(Value());
    b.addInt32(2);
    Bottle back;
    ASSERT_TRUE(decode(encode(b), back));
    EXPECT_EQ(back.toString(), "1 2");
}
