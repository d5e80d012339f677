#include "agents/blue_ball_finder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define BLUE_BALL_HAVE_SSE2 1
#else
#define BLUE_BALL_HAVE_SSE2 0
#endif

namespace blue_ball {
namespace {

// Columns [from, to) of one row, one pixel at a time: the tail of a row after the blocks,
// and the whole scan where there is no SSE2.
void scan_row_pixels(const unsigned char* row, std::size_t from, std::size_t to,
                     std::uint64_t& count, std::uint64_t& sum_x) noexcept {
    for (std::size_t x = from; x < to; ++x) {
        const unsigned char* p = row + 3 * x;
        const bool blue = is_clearly_blue(p[0], p[1], p[2]);
        count += blue;
        sum_x += blue ? x : 0;
    }
}

#if BLUE_BALL_HAVE_SSE2

// A block is 16 pixels, 48 bytes, three 16-byte registers. The registers are not
// de-interleaved: every byte lane is tested as if it held a blue component, with the two
// bytes before it as green and red, and only the lanes that really hold a blue component
// (byte index 2 mod 3) are kept. That needs nothing beyond SSE2, which every x86-64 has.
constexpr std::size_t kBlockPixels = 16;
constexpr std::size_t kBlockBytes = 3 * kBlockPixels;

struct LaneTables {
    // 1 in the lanes of blue components, else 0.
    alignas(16) unsigned char ones[kBlockBytes];
    // The pixel number within the block (0 to 15) in the lanes of blue components, else 0.
    alignas(16) unsigned char pixel[kBlockBytes];
};

constexpr LaneTables make_lane_tables() {
    LaneTables t{};
    for (std::size_t j = 0; j < kBlockBytes; ++j) {
        const bool blue_lane = j % 3 == 2;
        t.ones[j] = blue_lane ? 1 : 0;
        t.pixel[j] = blue_lane ? static_cast<unsigned char>(j / 3) : 0;
    }
    return t;
}

constexpr LaneTables kLanes = make_lane_tables();

// 0xFF in every lane where b fails the blue test against g and r, 0 where it passes.
//
// 5B > 6M + 50 with M = max(R, G) is B > M + 10 + M/5, and because B is a whole number
// that is B > M + 10 + floor(M/5). Byte saturation at 255 keeps the answer: a threshold
// that would exceed 255 cannot be beaten by any byte either way.
inline __m128i failing_lanes(__m128i b, __m128i g, __m128i r) noexcept {
    const __m128i zero = _mm_setzero_si128();
    // floor(M / 5) = (M * 13108) >> 16, exact for every M from 0 to 255.
    const __m128i one_fifth = _mm_set1_epi16(13108);
    const __m128i m = _mm_max_epu8(g, r);
    const __m128i fifth_lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(m, zero), one_fifth);
    const __m128i fifth_hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(m, zero), one_fifth);
    const __m128i fifth = _mm_packus_epi16(fifth_lo, fifth_hi);
    const __m128i threshold = _mm_adds_epu8(_mm_adds_epu8(m, _mm_set1_epi8(10)), fifth);
    // b > threshold exactly when the saturating difference is not zero.
    return _mm_cmpeq_epi8(_mm_subs_epu8(b, threshold), zero);
}

// Tests the 16 pixels at p. The three registers' failing-lane masks are returned in f.
inline void test_block(const unsigned char* p, __m128i f[3]) noexcept {
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

inline __m128i lane_table(const unsigned char* table, int reg) noexcept {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table + 16 * reg));
}

std::uint64_t sum_halves(__m128i v) noexcept {
    alignas(16) std::uint64_t halves[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(halves), v);
    return halves[0] + halves[1];
}

void scan_row(const unsigned char* row, std::size_t width, std::uint64_t& count,
              std::uint64_t& sum_x) noexcept {
    const std::size_t blocks = width / kBlockPixels;
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones[3] = {lane_table(kLanes.ones, 0), lane_table(kLanes.ones, 1),
                             lane_table(kLanes.ones, 2)};
    const __m128i pixel[3] = {lane_table(kLanes.pixel, 0), lane_table(kLanes.pixel, 1),
                              lane_table(kLanes.pixel, 2)};
    // Per block c: n_c blue pixels whose numbers within the block add up to l_c. The row's
    // column sum is sum(16 c n_c + l_c); sum(c n_c) comes from the running count without a
    // multiplication: adding the running count after every block gives
    // running = sum(n_c (blocks - c)), so sum(c n_c) = blocks N - running.
    __m128i n = zero, l = zero, running = zero;
    for (std::size_t c = 0; c < blocks; ++c) {
        __m128i f[3];
        test_block(row + c * kBlockBytes, f);
        // Each lane adds at most three ones and three pixel numbers below 16: no byte overflows.
        const __m128i hits = _mm_add_epi8(
            _mm_add_epi8(_mm_andnot_si128(f[0], ones[0]), _mm_andnot_si128(f[1], ones[1])),
            _mm_andnot_si128(f[2], ones[2]));
        const __m128i numbers = _mm_add_epi8(
            _mm_add_epi8(_mm_andnot_si128(f[0], pixel[0]), _mm_andnot_si128(f[1], pixel[1])),
            _mm_andnot_si128(f[2], pixel[2]));
        n = _mm_add_epi64(n, _mm_sad_epu8(hits, zero));
        l = _mm_add_epi64(l, _mm_sad_epu8(numbers, zero));
        running = _mm_add_epi64(running, n);
    }
    const std::uint64_t row_count = sum_halves(n);
    count += row_count;
    sum_x += kBlockPixels * (blocks * row_count - sum_halves(running)) + sum_halves(l);
    scan_row_pixels(row, blocks * kBlockPixels, width, count, sum_x);
}

#else  // no SSE2

void scan_row(const unsigned char* row, std::size_t width, std::uint64_t& count,
              std::uint64_t& sum_x) noexcept {
    scan_row_pixels(row, 0, width, count, sum_x);
}

#endif

}  // namespace

BlueSums scan_blue_pixels(const unsigned char* rgb, std::size_t width, std::size_t height,
                          std::size_t row_bytes) noexcept {
    BlueSums sums;
    if (rgb == nullptr) {
        return sums;
    }
    for (std::size_t y = 0; y < height; ++y) {
        std::uint64_t row_count = 0;
        scan_row(rgb + y * row_bytes, width, row_count, sums.sum_x);
        sums.count += row_count;
        sums.sum_y += row_count * y;
    }
    return sums;
}

BallEstimate estimate_ball(const BlueSums& sums, std::size_t width, std::size_t height) noexcept {
    BallEstimate estimate;
    estimate.width = width;
    estimate.height = height;
    if (sums.count > minimum_ball_pixels(width, height)) {
        const double n = static_cast<double>(sums.count);
        estimate.x = static_cast<double>(sums.sum_x) / n;
        estimate.y = static_cast<double>(sums.sum_y) / n;
        estimate.found = true;
    }
    return estimate;
}

BallEstimate find_ball(const unsigned char* rgb, std::size_t width, std::size_t height,
                       std::size_t row_bytes) noexcept {
    return estimate_ball(scan_blue_pixels(rgb, width, height, row_bytes), width, height);
}

namespace detail {

std::uint16_t blue_flags16(const unsigned char* rgb48) noexcept {
#if BLUE_BALL_HAVE_SSE2
    __m128i f[3];
    test_block(rgb48, f);
    std::uint16_t flags = 0;
    for (int reg = 0; reg < 3; ++reg) {
        const unsigned failing = static_cast<unsigned>(_mm_movemask_epi8(f[reg]));
        for (int lane = 0; lane < 16; ++lane) {
            const int byte = 16 * reg + lane;
            if (byte % 3 == 2 && ((failing >> lane) & 1u) == 0) {
                flags = static_cast<std::uint16_t>(flags | (1u << (byte / 3)));
            }
        }
    }
    return flags;
#else
    std::uint16_t flags = 0;
    for (int k = 0; k < 16; ++k) {
        const unsigned char* p = rgb48 + 3 * k;
        if (is_clearly_blue(p[0], p[1], p[2])) {
            flags = static_cast<std::uint16_t>(flags | (1u << k));
        }
    }
    return flags;
#endif
}

}  // namespace detail

}  // namespace blue_ball
