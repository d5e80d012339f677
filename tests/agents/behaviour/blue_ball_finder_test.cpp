// The ball finder's image arithmetic: the colour tests for every colour, the blob labelling
// against a flood-fill reference, the choice of the ball among blobs, and the found / not
// found decision.
#include "agents/behaviour/blue_ball_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <tuple>
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
using blue_ball::BallFinder;
using blue_ball::Blob;

// The blue test exactly as the ball finder defines it, in double precision.
bool blue_in_doubles(int r, int g, int b) { return b > 1.2 * r + 10 && b > 1.2 * g + 10; }

constexpr unsigned char kNavy[3] = {12, 38, 70};  // the robot's arm covers in the simulator

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
    // A disc of pure blue, shaded darker toward the bottom as the simulator renders the ball.
    void disc(double cx, double cy, double radius) {
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) {
                const double dx = x - cx, dy = y - cy;
                if (dx * dx + dy * dy <= radius * radius) {
                    paint(x, y, 0, 0, static_cast<unsigned char>(150 - 60 * dy / radius));
                }
            }
        }
    }
    void box(std::size_t x0, std::size_t y0, std::size_t w, std::size_t h,
             const unsigned char (&rgb)[3]) {
        for (std::size_t y = y0; y < y0 + h; ++y) {
            for (std::size_t x = x0; x < x0 + w; ++x) paint(x, y, rgb[0], rgb[1], rgb[2]);
        }
    }
    const unsigned char* data() const { return bytes.empty() ? nullptr : bytes.data(); }
    BallEstimate find(BallFinder& finder) const {
        return finder.find(data(), width, height, row_bytes);
    }
    BallEstimate find() const {
        BallFinder finder;
        return find(finder);
    }
};

// Blobs of ball-coloured pixels by flood fill, 8-connected: (count, sum of x, sum of y) each.
std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> flood_fill_blobs(
    const RgbImage& image) {
    const std::size_t w = image.width, h = image.height;
    std::vector<char> ball(w * h, 0), seen(w * h, 0);
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            const unsigned char* p = &image.bytes[y * image.row_bytes + 3 * x];
            ball[y * w + x] = blue_ball::is_ball_coloured(p[0], p[1], p[2]);
        }
    }
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> blobs;
    std::vector<std::size_t> stack;
    for (std::size_t start = 0; start < w * h; ++start) {
        if (!ball[start] || seen[start]) continue;
        std::uint64_t n = 0, sx = 0, sy = 0;
        stack.assign(1, start);
        seen[start] = 1;
        while (!stack.empty()) {
            const std::size_t i = stack.back();
            stack.pop_back();
            const std::size_t x = i % w, y = i / w;
            ++n;
            sx += x;
            sy += y;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const long nx = static_cast<long>(x) + dx, ny = static_cast<long>(y) + dy;
                    if (nx < 0 || ny < 0 || nx >= static_cast<long>(w) || ny >= static_cast<long>(h))
                        continue;
                    const std::size_t j = static_cast<std::size_t>(ny) * w + static_cast<std::size_t>(nx);
                    if (ball[j] && !seen[j]) {
                        seen[j] = 1;
                        stack.push_back(j);
                    }
                }
            }
        }
        blobs.emplace_back(n, sx, sy);
    }
    std::sort(blobs.begin(), blobs.end());
    return blobs;
}

TEST(ColourTests, IntegerFormAgreesWithDoublePrecisionForEveryColour) {
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

TEST(ColourTests, BlockPathAgreesWithPixelTestsForEveryColour) {
    // Sixteen consecutive colours per block fill all three registers of the block path;
    // over the run every colour is tested once.
    unsigned char block[48];
    std::size_t blue_disagreements = 0, ball_disagreements = 0;
    for (std::uint32_t first = 0; first < (1u << 24); first += 16) {
        for (int k = 0; k < 16; ++k) {
            const std::uint32_t colour = first + static_cast<std::uint32_t>(k);
            block[3 * k] = static_cast<unsigned char>(colour >> 16);
            block[3 * k + 1] = static_cast<unsigned char>(colour >> 8);
            block[3 * k + 2] = static_cast<unsigned char>(colour);
        }
        const blue_ball::detail::BlockFlags flags = blue_ball::detail::block_flags(block);
        for (int k = 0; k < 16; ++k) {
            const unsigned char* p = block + 3 * k;
            blue_disagreements +=
                (((flags.blue >> k) & 1u) != 0) != blue_ball::is_clearly_blue(p[0], p[1], p[2]);
            ball_disagreements +=
                (((flags.ball >> k) & 1u) != 0) != blue_ball::is_ball_coloured(p[0], p[1], p[2]);
        }
    }
    EXPECT_EQ(blue_disagreements, 0u);
    EXPECT_EQ(ball_disagreements, 0u);
}

TEST(ColourTests, StrictComparisonsGreenCountsLikeRedAndNavyIsNoBall) {
    EXPECT_TRUE(blue_ball::is_clearly_blue(0, 0, 255));
    EXPECT_TRUE(blue_ball::is_clearly_blue(100, 100, 140));   // 140 > 130
    EXPECT_FALSE(blue_ball::is_clearly_blue(100, 100, 130));  // equal is not enough
    EXPECT_TRUE(blue_ball::is_clearly_blue(0, 200, 255));     // 255 > 250
    EXPECT_FALSE(blue_ball::is_clearly_blue(0, 210, 255));    // 255 < 262
    EXPECT_TRUE(blue_ball::is_clearly_blue(200, 0, 255));
    EXPECT_FALSE(blue_ball::is_clearly_blue(210, 0, 255));

    // The simulator's ball, lit or in its own shadow, against the navy of the arm covers.
    EXPECT_TRUE(blue_ball::is_ball_coloured(0, 0, 154));
    EXPECT_TRUE(blue_ball::is_ball_coloured(0, 0, 20));
    EXPECT_TRUE(blue_ball::is_clearly_blue(kNavy[0], kNavy[1], kNavy[2]));
    EXPECT_FALSE(blue_ball::is_ball_coloured(kNavy[0], kNavy[1], kNavy[2]));
    EXPECT_FALSE(blue_ball::is_ball_coloured(3, 14, 27));  // navy in shadow
    EXPECT_FALSE(blue_ball::is_ball_coloured(0, 85, 255));  // 255 = 3 x 85: strict
    EXPECT_TRUE(blue_ball::is_ball_coloured(84, 0, 255));
}

TEST(Labelling, AgreesWithFloodFillOnRandomImages) {
    // Widths around the 64-bit words and 16-pixel blocks, padded rows whose padding looks
    // like the ball (it must not count), densities from sparse specks to near-solid areas,
    // and navy pixels that pass the blue test but must split blobs.
    std::mt19937 rng(20240611);
    BallFinder finder;  // reused across images, as the agent does
    for (int round = 0; round < 2000; ++round) {
        const std::size_t width = rng() % 90;
        const std::size_t height = rng() % 14;
        const std::size_t padding = rng() % 8;
        const unsigned density = rng() % 100;
        RgbImage image(width, height, padding);
        for (std::size_t i = 0; i < image.bytes.size(); ++i) {
            image.bytes[i] = (i % 3 == 2) ? 255 : 0;  // padding included
        }
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) {
                const unsigned pick = rng() % 100;
                if (pick < density) {
                    image.paint_blue(x, y);
                } else if (pick < density + 10) {
                    image.paint(x, y, kNavy[0], kNavy[1], kNavy[2]);
                } else {
                    image.paint(x, y, 90, 90, 90);
                }
            }
        }
        image.find(finder);
        std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> found;
        for (const Blob& blob : finder.blobs()) {
            const double n = static_cast<double>(blob.count);
            found.emplace_back(blob.count, static_cast<std::uint64_t>(std::llround(blob.x * n)),
                               static_cast<std::uint64_t>(std::llround(blob.y * n)));
        }
        std::sort(found.begin(), found.end());
        ASSERT_EQ(found, flood_fill_blobs(image)) << width << "x" << height << " round " << round;
    }
}

TEST(Labelling, CentroidStaysExactOverLargeImages) {
    for (auto [width, height] : {std::pair<std::size_t, std::size_t>{640, 480}, {1000, 3}}) {
        RgbImage image(width, height);
        for (std::size_t y = 0; y < height; ++y) {
            for (std::size_t x = 0; x < width; ++x) image.paint_blue(x, y);
        }
        BallFinder finder;
        image.find(finder);
        ASSERT_EQ(finder.blobs().size(), 1u);
        EXPECT_EQ(finder.blobs()[0].count, width * height);
        EXPECT_EQ(finder.blobs()[0].x, (width - 1) / 2.0);
        EXPECT_EQ(finder.blobs()[0].y, (height - 1) / 2.0);
    }
}

TEST(Labelling, AllocatesNothingOnceItHasSeenAsBusyAnImage) {
    RgbImage image(640, 480);
    image.disc(220, 120, 25);
    image.box(400, 300, 120, 40, kNavy);
    BallFinder finder;
    (void)image.find(finder);  // sizes the buffers
    const std::size_t before = allocations;
    const BallEstimate estimate = image.find(finder);
    EXPECT_EQ(allocations, before);
    EXPECT_TRUE(estimate.found);
}

TEST(Shapes, DiscsAreBallsBarsAndSprawlsAreNot) {
    RgbImage disc(320, 240);
    disc.disc(100, 80, 20);
    BallFinder finder;
    const BallEstimate found = disc.find(finder);
    EXPECT_TRUE(found.found);
    EXPECT_NEAR(found.x, 100, 0.5);
    EXPECT_NEAR(found.y, 80, 0.5);
    ASSERT_EQ(finder.blobs().size(), 1u);
    EXPECT_NEAR(finder.blobs()[0].elongation, 1.0, 0.05);
    EXPECT_NEAR(finder.blobs()[0].fill, 1.0, 0.05);

    // A bar of pure blue four times as long as wide, big enough to count, is no ball.
    RgbImage bar(320, 240);
    bar.box(40, 100, 160, 40, {0, 0, 200});
    EXPECT_FALSE(bar.find().found);

    // Nor is a ring (a disc with a hole that is not blue).
    RgbImage ring(320, 240);
    ring.disc(160, 120, 40);
    for (std::size_t y = 0; y < 240; ++y) {
        for (std::size_t x = 0; x < 320; ++x) {
            const double dx = x - 160.0, dy = y - 120.0;
            if (dx * dx + dy * dy < 33.0 * 33.0) ring.paint(x, y, 90, 90, 90);
        }
    }
    EXPECT_FALSE(ring.find().found);

    // Half a ball at the edge of the image is still a ball.
    RgbImage edge(320, 240);
    edge.disc(160, 0, 25);
    EXPECT_TRUE(edge.find().found);
}

TEST(Choice, TheBallNotTheRobotsNavyBody) {
    // A large navy arm next to a small ball, touching it: only the ball counts, and the arm
    // does not pull its centroid.
    RgbImage image(320, 240);
    image.box(0, 150, 200, 90, kNavy);
    image.disc(205, 160, 12);  // in front of the arm's right end
    const BallEstimate estimate = image.find();
    EXPECT_TRUE(estimate.found);
    EXPECT_NEAR(estimate.x, 205, 0.5);
    EXPECT_NEAR(estimate.y, 160, 0.5);

    RgbImage arm_only(320, 240);
    arm_only.box(0, 150, 200, 90, kNavy);
    EXPECT_FALSE(arm_only.find().found);
}

TEST(Choice, OfTwoBallsTheLargerOneNotThePointBetween) {
    RgbImage image(320, 240);
    image.disc(60, 60, 10);
    image.disc(250, 180, 14);
    image.box(100, 20, 200, 8, {0, 0, 255});  // a long blue bar, larger than either ball
    const BallEstimate estimate = image.find();
    EXPECT_TRUE(estimate.found);
    EXPECT_NEAR(estimate.x, 250, 0.5);
    EXPECT_NEAR(estimate.y, 180, 0.5);
}

TEST(Estimate, TheBallNeedsMorePixelsThanOneTwentiethSquared) {
    // 320 x 240: (320 div 20) x (240 div 20) = 192 pixels are not yet a ball, 193 are.
    RgbImage image(320, 240);
    image.box(100, 100, 16, 12, {0, 0, 255});
    const BallEstimate at_limit = image.find();
    EXPECT_FALSE(at_limit.found);
    EXPECT_EQ(at_limit.x, 0.0);  // the centroid is not reported
    EXPECT_EQ(at_limit.y, 0.0);
    EXPECT_EQ(at_limit.width, 320u);
    EXPECT_EQ(at_limit.height, 240u);

    image.paint_blue(116, 111);
    const BallEstimate found = image.find();
    EXPECT_TRUE(found.found);
    EXPECT_DOUBLE_EQ(found.x, (192 * 107.5 + 116) / 193);
    EXPECT_DOUBLE_EQ(found.y, (192 * 105.5 + 111) / 193);

    // Many specks add up to more than the minimum but are no ball.
    RgbImage specks(320, 240);
    for (std::size_t y = 0; y < 240; y += 4) {
        for (std::size_t x = 0; x < 320; x += 4) specks.paint_blue(x, y);
    }
    EXPECT_FALSE(specks.find().found);
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

TEST(Estimate, NoBluePixelsOrNoPixelsAtAllIsNotFound) {
    RgbImage grey(320, 240);
    const BallEstimate none = grey.find();
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.width, 320u);
    EXPECT_EQ(none.height, 240u);

    BallFinder finder;
    const BallEstimate empty = finder.find(nullptr, 0, 0, 0);
    EXPECT_FALSE(empty.found);
    EXPECT_EQ(empty.width, 0u);
    EXPECT_TRUE(finder.blobs().empty());
}

}  // namespace
