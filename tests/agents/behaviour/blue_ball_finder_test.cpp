// The ball finder's image arithmetic: the blue test for every colour, the block scan against
// a pixel-by-pixel reference, and the found / not-found decision.
#include "agents/blue_ball_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

namespace {

// Allocations made by the current thread, counted by the replaced operator new below.
thread_local std::size_t allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using blue_ball::BallEstimate;
using blue_ball::BlueSums;

// The blue test exactly as the ball finder defines it, in double precision.
bool blue_in_doubles(int r, int g, int b) { return b > 1.2 * r + 10 && b > 1.2 * g + 10; }

struct RgbImage {
    std::size_t width = 0, height = 0, row_bytes = 0;
    std::vector<unsigned char> bytes;  // exactly as long as the rows reach: no slack after

    RgbImage(std::size_t w, std::size_t h, std::size_t padding = 0)
        : width(w), height(h), row_bytes(3 * w + padding) {
        bytes.assign(h == 0 ? 0 : row_bytes * (h - 1) + 3 * w, 90);  // dark grey
    }
    unsigned char* at(std::size_t x, std::size_t y) { return &bytes[y * row_bytes + 3 * x]; }
    void paint(std::size_t x, std::size_t y, unsigned char r, unsigned char g, unsigned char b) {
        unsigned char* p = at(x, y);
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
    void paint_blue(std::size_t x, std::size_t y) { paint(x, y, 0, 0, 255); }
    const unsigned char* data() const { return bytes.empty() ? nullptr : bytes.data(); }
    BlueSums scan() const { return blue_ball::scan_blue_pixels(data(), width, height, row_bytes); }
    BallEstimate find() const { return blue_ball::find_ball(data(), width, height, row_bytes); }
};

// The scan as the ball finder describes it: columns outer, rows inner, sums in doubles.
struct ReferenceSums {
    double n = 0, sx = 0, sy = 0;
};
ReferenceSums reference_scan(const RgbImage& image) {
    ReferenceSums sums;
    for (std::size_t x = 0; x < image.width; ++x) {
        for (std::size_t y = 0; y < image.height; ++y) {
            const unsigned char* p = &image.bytes[y * image.row_bytes + 3 * x];
            if (blue_in_doubles(p[0], p[1], p[2])) {
                sums.sx += static_cast<double>(x);
                sums.sy += static_cast<double>(y);
                sums.n += 1.0;
            }
        }
    }
    return sums;
}

TEST(BlueTest, IntegerFormAgreesWithDoublePrecisionForEveryColour) {
    std::size_t disagreements = 0;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                disagreements += blue_ball::is_clearly_blue(r, g, b) != blue_in_doubles(r, g, b);
            }
        }
    }
    EXPECT_EQ(disagreements, 0u);
}

TEST(BlueTest, BlockPathAgreesWithIntegerFormForEveryColour) {
    // Sixteen consecutive colours per block fill all three registers of the block path;
    // over the run every colour is tested once.
    unsigned char block[48];
    std::size_t disagreements = 0;
    for (std::uint32_t first = 0; first < (1u << 24); first += 16) {
        for (int k = 0; k < 16; ++k) {
            const std::uint32_t colour = first + static_cast<std::uint32_t>(k);
            block[3 * k] = static_cast<unsigned char>(colour >> 16);
            block[3 * k + 1] = static_cast<unsigned char>(colour >> 8);
            block[3 * k + 2] = static_cast<unsigned char>(colour);
        }
        const std::uint16_t flags = blue_ball::detail::blue_flags16(block);
        for (int k = 0; k < 16; ++k) {
            const bool expected =
                blue_ball::is_clearly_blue(block[3 * k], block[3 * k + 1], block[3 * k + 2]);
            disagreements += (((flags >> k) & 1u) != 0) != expected;
        }
    }
    EXPECT_EQ(disagreements, 0u);
}

TEST(BlueTest, StrictComparisonAndGreenCountsLikeRed) {
    EXPECT_TRUE(blue_ball::is_clearly_blue(0, 0, 255));
    EXPECT_TRUE(blue_ball::is_clearly_blue(100, 100, 140));   // 140 > 130
    EXPECT_FALSE(blue_ball::is_clearly_blue(100, 100, 130));  // equal is not enough
    EXPECT_TRUE(blue_ball::is_clearly_blue(0, 200, 255));     // 255 > 250
    EXPECT_FALSE(blue_ball::is_clearly_blue(0, 210, 255));    // 255 < 262
    EXPECT_TRUE(blue_ball::is_clearly_blue(200, 0, 255));
    EXPECT_FALSE(blue_ball::is_clearly_blue(210, 0, 255));
}

TEST(Scan, AgreesWithPixelByPixelReferenceOnRandomImages) {
    // Widths around the 16-pixel blocks, padded rows whose padding looks blue (it must not
    // count), and colours close to the threshold on either side.
    std::mt19937 rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t width = rng() % 70;
        const std::size_t height = rng() % 9;
        const std::size_t padding = rng() % 8;
        RgbImage image(width, height, padding);
        for (std::size_t i = 0; i < image.bytes.size(); ++i) {
            image.bytes[i] = (i % 3 == 2) ? 255 : 0;  // padding included
        }
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) {
                const int r = static_cast<int>(rng() % 256);
                const int g = static_cast<int>(rng() % 256);
                const int near = 10 + (6 * std::max(r, g)) / 5 + static_cast<int>(rng() % 3) - 1;
                const int b =
                    (rng() % 2) ? std::min(255, std::max(0, near)) : static_cast<int>(rng() % 256);
                image.paint(x, y, r, g, b);
            }
        }
        const BlueSums sums = image.scan();
        const ReferenceSums expected = reference_scan(image);
        ASSERT_EQ(static_cast<double>(sums.count), expected.n) << width << "x" << height;
        ASSERT_EQ(static_cast<double>(sums.sum_x), expected.sx) << width << "x" << height;
        ASSERT_EQ(static_cast<double>(sums.sum_y), expected.sy) << width << "x" << height;
    }
}

TEST(Scan, SumsStayExactOverLargeAllBlueImages) {
    for (auto [width, height] : {std::pair<std::size_t, std::size_t>{640, 480}, {1000, 3}}) {
        RgbImage image(width, height);
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) image.paint_blue(x, y);
        }
        const BlueSums sums = image.scan();
        EXPECT_EQ(sums.count, width * height);
        EXPECT_EQ(sums.sum_x, height * (width * (width - 1) / 2));
        EXPECT_EQ(sums.sum_y, width * (height * (height - 1) / 2));
    }
}

TEST(Scan, AllocatesNothing) {
    RgbImage image(640, 480);
    for (std::size_t y = 100; y < 140; ++y) {
        for (std::size_t x = 200; x < 240; ++x) image.paint_blue(x, y);  // 1600 > 768 pixels
    }
    const std::size_t before = allocations;
    const BallEstimate estimate = image.find();
    EXPECT_EQ(allocations, before);
    EXPECT_TRUE(estimate.found);
}

TEST(Estimate, MoreBluePixelsThanOneTwentiethSquaredIsTheBall) {
    // 320 x 240: (320 div 20) x (240 div 20) = 192 pixels are not yet a ball, 193 are.
    RgbImage image(320, 240);
    std::mt19937 rng(7);
    std::vector<bool> used(320 * 240, false);
    double sx = 0, sy = 0;
    for (int n = 1; n <= 193; ++n) {
        std::size_t x, y;
        do {
            x = rng() % 320;
            y = rng() % 240;
        } while (used[y * 320 + x]);
        used[y * 320 + x] = true;
        image.paint_blue(x, y);
        sx += static_cast<double>(x);
        sy += static_cast<double>(y);
        if (n == 192) {
            const BallEstimate at_limit = image.find();
            EXPECT_FALSE(at_limit.found);
            EXPECT_EQ(at_limit.x, 0.0);  // the centroid is not reported
            EXPECT_EQ(at_limit.y, 0.0);
            EXPECT_EQ(at_limit.width, 320u);
            EXPECT_EQ(at_limit.height, 240u);
        }
    }
    const BallEstimate found = image.find();
    EXPECT_TRUE(found.found);
    EXPECT_DOUBLE_EQ(found.x, sx / 193);
    EXPECT_DOUBLE_EQ(found.y, sy / 193);
}

TEST(Estimate, ImagesUnderTwentyPixelsNeedOneBluePixel) {
    RgbImage narrow(19, 240);
    narrow.paint_blue(7, 200);
    const BallEstimate one = narrow.find();
    EXPECT_TRUE(one.found);
    EXPECT_EQ(one.x, 7.0);
    EXPECT_EQ(one.y, 200.0);

    // Two pixels in a 16 x 16 image: the centroid is not rounded.
    RgbImage small(16, 16);
    small.paint_blue(10, 5);
    small.paint_blue(11, 5);
    const BallEstimate two = small.find();
    EXPECT_TRUE(two.found);
    EXPECT_EQ(two.x, 10.5);
    EXPECT_EQ(two.y, 5.0);
    EXPECT_EQ(two.width, 16u);
    EXPECT_EQ(two.height, 16u);
}

TEST(Estimate, TwoBlobsGiveTheCentroidBetweenThem) {
    RgbImage image(320, 240);
    for (std::size_t y = 45; y < 55; ++y) {
        for (std::size_t x = 45; x < 55; ++x) {
            image.paint_blue(x, y);             // centred on (49.5, 49.5)
            image.paint_blue(x + 100, y + 40);  // centred on (149.5, 89.5)
        }
    }
    const BallEstimate estimate = image.find();
    EXPECT_TRUE(estimate.found);
    EXPECT_DOUBLE_EQ(estimate.x, 99.5);
    EXPECT_DOUBLE_EQ(estimate.y, 69.5);
}

TEST(Estimate, NoBluePixelsOrNoPixelsAtAllIsNotFound) {
    RgbImage grey(320, 240);
    const BallEstimate none = grey.find();
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.width, 320u);
    EXPECT_EQ(none.height, 240u);

    const BallEstimate empty = blue_ball::find_ball(nullptr, 0, 0, 0);
    EXPECT_FALSE(empty.found);
    EXPECT_EQ(empty.width, 0u);
}

}  // namespace
