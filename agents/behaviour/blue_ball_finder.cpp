#include "agents/behaviour/blue_ball_finder.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#define BLUE_BALL_HAVE_SSE2 1
#else
#define BLUE_BALL_HAVE_SSE2 0
#endif

namespace blue_ball {
namespace {

// A row is classified in blocks of 16 pixels, 48 bytes. The classification of a row is kept
// in "lane" form: three bits per pixel, all set when the pixel is ball-coloured. That is the
// form the vector path produces without de-interleaving, and runs of set bits are runs of
// pixels (a run of lanes a..b is the pixels a/3..b/3).
constexpr std::size_t kBlockPixels = 16;
constexpr std::size_t kBlockBytes = 3 * kBlockPixels;
constexpr unsigned kBlockLanes = 48;

// Lanes of the pixels [0, count) that are ball-coloured, one pixel at a time: the tail of a
// row after the blocks, and every block where there is no SSE2.
std::uint64_t ball_lanes_by_pixel(const unsigned char* p, std::size_t count) noexcept {
    std::uint64_t lanes = 0;
    for (std::size_t k = 0; k < count; ++k, p += 3) {
        if (is_ball_coloured(p[0], p[1], p[2])) lanes |= std::uint64_t{7} << (3 * k);
    }
    return lanes;
}

#if BLUE_BALL_HAVE_SSE2

// The three registers of a block are not de-interleaved: every byte lane is tested as if it
// held a blue component, with the two bytes before it as green and red, and only the lanes
// that really hold a blue component (byte index 2 mod 3) are kept. That needs nothing beyond
// SSE2, which every x86-64 has.
constexpr std::uint64_t kBlueLanes = [] {
    std::uint64_t bits = 0;
    for (unsigned j = 2; j < kBlockLanes; j += 3) bits |= std::uint64_t{1} << j;
    return bits;
}();

struct FailingLanes {
    __m128i blue;  // 0xFF where b fails the blue test against g and r
    __m128i ball;  // 0xFF where it fails the blue test or the pure-blue test
};

// 5B > 6M + 50 with M = max(R, G) is B > M + 10 + M/5, and because B is a whole number that
// is B > M + 10 + floor(M/5). B > 3M is tested against 3M saturated at 255, which no byte
// beats either. Byte saturation keeps both answers: a threshold that would exceed 255 cannot
// be beaten by any byte either way.
inline FailingLanes failing_lanes(__m128i b, __m128i g, __m128i r) noexcept {
    const __m128i zero = _mm_setzero_si128();
    // floor(M / 5) = (M * 13108) >> 16, exact for every M from 0 to 255.
    const __m128i one_fifth = _mm_set1_epi16(13108);
    const __m128i m = _mm_max_epu8(g, r);
    const __m128i fifth_lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(m, zero), one_fifth);
    const __m128i fifth_hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(m, zero), one_fifth);
    const __m128i fifth = _mm_packus_epi16(fifth_lo, fifth_hi);
    const __m128i threshold = _mm_adds_epu8(_mm_adds_epu8(m, _mm_set1_epi8(10)), fifth);
    const __m128i triple = _mm_adds_epu8(_mm_adds_epu8(m, m), m);
    // b > t exactly when the saturating difference is not zero.
    FailingLanes failing;
    failing.blue = _mm_cmpeq_epi8(_mm_subs_epu8(b, threshold), zero);
    failing.ball = _mm_or_si128(failing.blue, _mm_cmpeq_epi8(_mm_subs_epu8(b, triple), zero));
    return failing;
}

// Tests the 16 pixels at p; the failing lanes of the three registers go to f.
inline void test_block(const unsigned char* p, FailingLanes f[3]) noexcept {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    // Lane j of gN / rN holds byte j-1 / j-2 of the block, carried over from the register
    // before. Lanes 0 and 1 of the first register get zeros, but they hold red and green.
    const __m128i g0 = _mm_slli_si128(a0, 1);
    const __m128i r0 = _mm_slli_si128(a0, 2);
    const __m128i g1 = _mm_or_si128(_mm_slli_si128(a1, 1), _mm_srli_si128(a0, 15));
    const __m128i r1 = _mm_or_si128(_mm_slli_si128(a1, 2), _mm_srli_si128(a0, 14));
    const __m128i g2 = _mm_or_si128(_mm_slli_si128(a2, 1), _mm_srli_si128(a1, 15));
    const __m128i r2 = _mm_or_si128(_mm_slli_si128(a2, 2), _mm_srli_si128(a1, 14));
    f[0] = failing_lanes(a0, g0, r0);
    f[1] = failing_lanes(a1, g1, r1);
    f[2] = failing_lanes(a2, g2, r2);
}

// The blue lanes (bit 3k + 2 for pixel k) of the block whose lanes in `f` did not fail.
inline std::uint64_t passing_blue_lanes(__m128i f0, __m128i f1, __m128i f2) noexcept {
    const std::uint64_t failing = static_cast<std::uint64_t>(_mm_movemask_epi8(f0))
        | static_cast<std::uint64_t>(_mm_movemask_epi8(f1)) << 16
        | static_cast<std::uint64_t>(_mm_movemask_epi8(f2)) << 32;
    return ~failing & kBlueLanes;
}

// All three lanes of every ball-coloured pixel of the block at p.
inline std::uint64_t ball_lanes_of_block(const unsigned char* p) noexcept {
    FailingLanes f[3];
    test_block(p, f);
    const std::uint64_t blue_lanes = passing_blue_lanes(f[0].ball, f[1].ball, f[2].ball);
    return blue_lanes | blue_lanes >> 1 | blue_lanes >> 2;
}

#else  // no SSE2

inline std::uint64_t ball_lanes_of_block(const unsigned char* p) noexcept {
    return ball_lanes_by_pixel(p, kBlockPixels);
}

#endif

// Packs runs of lane bits into whole 64-bit words.
class LaneWriter {
public:
    explicit LaneWriter(std::uint64_t* words) : out(words) {}

    // Appends the low `count` bits (at most 48) of `bits`; the bits above must be zero.
    void put(std::uint64_t bits, unsigned count) noexcept {
        pending |= bits << filled;
        filled += count;
        if (filled >= 64) {
            *out++ = pending;
            filled -= 64;
            // The bits that did not fit; count - filled > 0 because count <= 48 < 64.
            pending = filled == 0 ? 0 : bits >> (count - filled);
        }
    }
    void finish() noexcept {
        if (filled > 0) *out++ = pending;
    }

private:
    std::uint64_t* out;
    std::uint64_t pending = 0;
    unsigned filled = 0;
};

// Classifies one row into `words` (ceil(3 * width / 64) of them); true when any pixel of the
// row is ball-coloured.
bool classify_row(const unsigned char* row, std::size_t width, std::uint64_t* words) noexcept {
    LaneWriter writer(words);
    std::uint64_t any = 0;
    const std::size_t blocks = width / kBlockPixels;
    for (std::size_t c = 0; c < blocks; ++c) {
        const std::uint64_t lanes = ball_lanes_of_block(row + c * kBlockBytes);
        any |= lanes;
        writer.put(lanes, kBlockLanes);
    }
    const std::size_t tail = width - blocks * kBlockPixels;
    if (tail > 0) {
        const std::uint64_t lanes = ball_lanes_by_pixel(row + blocks * kBlockBytes, tail);
        any |= lanes;
        writer.put(lanes, static_cast<unsigned>(3 * tail));
    }
    writer.finish();
    return any != 0;
}

inline unsigned lowest_bit(std::uint64_t v) noexcept {
    return static_cast<unsigned>(__builtin_ctzll(v));
}

// Sum of k^2 for k = 0..n (0 for n < 0).
inline std::int64_t sum_of_squares(std::int64_t n) noexcept {
    return n < 0 ? 0 : n * (n + 1) * (2 * n + 1) / 6;
}

}  // namespace

// --- BallFinder ----------------------------------------------------------------------------

BallEstimate BallFinder::find(const unsigned char* rgb, std::size_t width, std::size_t height,
                              std::size_t row_bytes) {
    BallEstimate estimate;
    estimate.width = width;
    estimate.height = height;
    runs.clear();
    blob_list.clear();
    if (rgb == nullptr || width == 0 || height == 0) {
        return estimate;
    }

    lanes.resize((3 * width + 63) / 64);
    std::size_t previous_begin = 0;  // runs of the row above: [previous_begin, row_begin)
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t row_begin = runs.size();
        if (classify_row(rgb + y * row_bytes, width, lanes.data())) {
            append_runs(y);
        }
        label_row(previous_begin, row_begin);
        previous_begin = row_begin;
    }
    const std::uint64_t minimum = minimum_ball_pixels(width, height);
    collect_blobs(minimum);

    if (const Blob* ball = choose_ball(blob_list, minimum)) {
        estimate.x = ball->x;
        estimate.y = ball->y;
        estimate.found = true;
    }
    return estimate;
}

// Turns the runs of set lane bits of row y into runs of pixels.
void BallFinder::append_runs(std::size_t y) {
    const auto row = static_cast<std::int32_t>(y);
    auto add = [&](std::size_t first_lane, std::size_t end_lane) {
        const auto index = static_cast<std::int32_t>(runs.size());
        runs.push_back(Run{static_cast<std::int32_t>(first_lane / 3),
                           static_cast<std::int32_t>(end_lane / 3), row, index});
    };
    bool open = false;  // a run reaches the end of the previous word
    std::size_t start = 0;
    for (std::size_t w = 0; w < lanes.size(); ++w) {
        std::uint64_t v = lanes[w];
        const std::size_t base = 64 * w;
        if (open) {
            if (v == ~std::uint64_t{0}) continue;
            const unsigned end = lowest_bit(~v);
            add(start, base + end);
            open = false;
            v &= ~std::uint64_t{0} << end;  // end < 64: the bits below it were the run's
        }
        while (v != 0) {
            const unsigned first = lowest_bit(v);
            const std::uint64_t clear_after = ~v & (~std::uint64_t{0} << first);
            if (clear_after == 0) {  // the run goes on into the next word
                open = true;
                start = base + first;
                break;
            }
            const unsigned end = lowest_bit(clear_after);
            add(base + first, base + end);
            v &= ~std::uint64_t{0} << end;
        }
    }
    if (open) add(start, 64 * lanes.size());
}

// Joins every run of the row just scanned that touches a run of the row above, diagonals included.
void BallFinder::label_row(std::size_t previous_begin, std::size_t row_begin) {
    const std::size_t row_end = runs.size();
    std::size_t p = previous_begin, c = row_begin;
    while (p < row_begin && c < row_end) {
        const Run& above = runs[p];
        const Run& here = runs[c];
        if (above.x0 <= here.x1 && here.x0 <= above.x1) {
            join(static_cast<std::int32_t>(p), static_cast<std::int32_t>(c));
        }
        // The run that ends first can touch nothing further along the other row. (Without
        // a branch: on busy images its outcome is a coin toss.)
        const bool above_ends_first = above.x1 < here.x1;
        p += above_ends_first;
        c += !above_ends_first;
    }
}

std::int32_t BallFinder::root(std::int32_t run) {
    while (runs[run].parent != run) {
        runs[run].parent = runs[runs[run].parent].parent;  // path halving
        run = runs[run].parent;
    }
    return run;
}

void BallFinder::join(std::int32_t a, std::int32_t b) {
    const std::int32_t ra = root(a);
    const std::int32_t rb = root(b);
    // The earlier run becomes the root, so every link points back in scan order.
    if (ra < rb) {
        runs[rb].parent = ra;
    } else if (rb < ra) {
        runs[ra].parent = rb;
    }
}

void BallFinder::collect_blobs(std::uint64_t shape_threshold) {
    sums.clear();
    blob_of_root.resize(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        Run& run = runs[i];
        // Links point back and earlier runs already point at their roots: one step suffices.
        run.parent = runs[run.parent].parent;
        if (run.parent == static_cast<std::int32_t>(i)) {
            blob_of_root[i] = static_cast<std::int32_t>(sums.size());
            sums.emplace_back();
        }
        Sums& s = sums[blob_of_root[run.parent]];
        const std::int64_t length = run.x1 - run.x0;
        const std::int64_t sum_x = length * (run.x0 + run.x1 - 1) / 2;
        const std::int64_t sum_xx = sum_of_squares(run.x1 - 1) - sum_of_squares(run.x0 - 1);
        const auto y = static_cast<double>(run.y);
        s.count += static_cast<std::uint64_t>(length);
        s.sum_x += static_cast<std::uint64_t>(sum_x);
        s.sum_y += static_cast<std::uint64_t>(length) * static_cast<std::uint64_t>(run.y);
        s.sum_xx += static_cast<double>(sum_xx);
        s.sum_yy += static_cast<double>(length) * y * y;
        s.sum_xy += static_cast<double>(sum_x) * y;
    }

    blob_list.resize(sums.size());
    for (std::size_t b = 0; b < sums.size(); ++b) {
        const Sums& s = sums[b];
        Blob& blob = blob_list[b];
        const auto n = static_cast<double>(s.count);
        blob.count = s.count;
        blob.x = static_cast<double>(s.sum_x) / n;
        blob.y = static_cast<double>(s.sum_y) / n;
        blob.elongation = 1.0;
        blob.fill = 1.0;
        if (s.count > shape_threshold) measure_shape(s, blob);
    }
}

void BallFinder::measure_shape(const Sums& s, Blob& blob) {
    constexpr double kPi = 3.14159265358979323846;
    const auto n = static_cast<double>(s.count);
    // Spread of the pixels as unit squares: the spread of their centres plus 1/12.
    const double xx = s.sum_xx / n - blob.x * blob.x + 1.0 / 12.0;
    const double yy = s.sum_yy / n - blob.y * blob.y + 1.0 / 12.0;
    const double xy = s.sum_xy / n - blob.x * blob.y;
    const double mean = (xx + yy) / 2;
    const double half_gap = std::sqrt((xx - yy) * (xx - yy) / 4 + xy * xy);
    const double major = mean + half_gap;
    const double minor = std::fmax(mean - half_gap, 1.0 / 12.0);  // rounding only
    blob.elongation = std::sqrt(major / minor);
    // A filled ellipse with these second moments has the area 4 pi sqrt(major minor).
    blob.fill = n / (4 * kPi * std::sqrt(major * minor));
}

const Blob* choose_ball(const std::vector<Blob>& blobs, std::uint64_t minimum) noexcept {
    const Blob* best = nullptr;
    for (const Blob& blob : blobs) {
        if (blob.count > minimum && looks_like_ball(blob)
            && (best == nullptr || blob.count > best->count)) {
            best = &blob;
        }
    }
    return best;
}

namespace detail {

BlockFlags block_flags(const unsigned char* rgb48) noexcept {
    BlockFlags flags;
#if BLUE_BALL_HAVE_SSE2
    FailingLanes f[3];
    test_block(rgb48, f);
    const std::uint64_t blue = passing_blue_lanes(f[0].blue, f[1].blue, f[2].blue);
    const std::uint64_t ball = passing_blue_lanes(f[0].ball, f[1].ball, f[2].ball);
    for (unsigned k = 0; k < kBlockPixels; ++k) {
        const unsigned lane = 3 * k + 2;
        if ((blue >> lane) & 1u) flags.blue = static_cast<std::uint16_t>(flags.blue | 1u << k);
        if ((ball >> lane) & 1u) flags.ball = static_cast<std::uint16_t>(flags.ball | 1u << k);
    }
#else
    for (unsigned k = 0; k < kBlockPixels; ++k) {
        const unsigned char* p = rgb48 + 3 * k;
        if (is_clearly_blue(p[0], p[1], p[2])) flags.blue |= static_cast<std::uint16_t>(1u << k);
        if (is_ball_coloured(p[0], p[1], p[2])) flags.ball |= static_cast<std::uint16_t>(1u << k);
    }
#endif
    return flags;
}

}  // namespace detail

}  // namespace blue_ball
