#pragma once
// The ball finder's image arithmetic, kept free of threads, the Space and YARP so that it
// can be tested exhaustively and timed on its own: the colour test for "clearly blue",
// the scan that sums the blue pixels of an RGB image, and the decision whether those
// pixels are numerous enough to be the ball.
#include <cstddef>
#include <cstdint>

namespace blue_ball {

/// The blue test in integer form: B > 1.2 R + 10 and B > 1.2 G + 10, both strict.
///
/// Multiplying by five turns the test into 5B > 6R + 50 and 5B > 6G + 50, which gives the
/// same answer as the double-precision form for every one of the 2^24 colours (the test
/// suite checks all of them).
constexpr bool is_clearly_blue(std::uint8_t r, std::uint8_t g, std::uint8_t b) noexcept {
    return 5 * int{b} > 6 * int{r} + 50 && 5 * int{b} > 6 * int{g} + 50;
}

/// What one scan gathers: the number of blue pixels and the sums of their column and row
/// indices. Integer sums are exact (and equal to the same sums taken in double precision,
/// which stay below 2^53 for any image that fits in memory).
struct BlueSums {
    std::uint64_t count = 0;  ///< number of pixels that pass the blue test
    std::uint64_t sum_x = 0;  ///< sum of their column indices
    std::uint64_t sum_y = 0;  ///< sum of their row indices
};

/// Scans an interleaved 8-bit RGB image and sums its blue pixels.
///
/// @param rgb        first byte of row 0; pixel (x, y) starts at rgb + y * row_bytes + 3 * x
///                   and holds red, green, blue in that order
/// @param width      pixels per row
/// @param height     number of rows
/// @param row_bytes  distance between the starts of two rows; at least 3 * width (rows may
///                   carry padding, which is not read)
///
/// Reads exactly the 3 * width bytes of each row, allocates nothing and keeps no state.
/// A null `rgb` or an empty image yields zero sums.
[[nodiscard]] BlueSums scan_blue_pixels(const unsigned char* rgb, std::size_t width,
                                        std::size_t height, std::size_t row_bytes) noexcept;

/// Where the ball is, as far as one image tells.
struct BallEstimate {
    double x = 0.0;          ///< centroid column of the blue pixels; 0 when not found
    double y = 0.0;          ///< centroid row; 0 when not found
    std::size_t width = 0;   ///< image width in pixels
    std::size_t height = 0;  ///< image height in pixels
    bool found = false;      ///< whether more blue pixels were seen than the minimum size
};

/// The smallest number of blue pixels that is not yet a ball: (width div 20) x (height div
/// 20), the pixels of one twentieth of the image in each direction. An image narrower or
/// lower than 20 pixels has 0, so one blue pixel is enough there.
[[nodiscard]] constexpr std::uint64_t minimum_ball_pixels(std::size_t width,
                                                          std::size_t height) noexcept {
    return std::uint64_t{width / 20} * std::uint64_t{height / 20};
}

/// Turns the sums of a scan into an estimate: the centroid when the count exceeds
/// `minimum_ball_pixels` (strictly), otherwise not found with a zero centroid. The
/// centroid is not rounded.
[[nodiscard]] BallEstimate estimate_ball(const BlueSums& sums, std::size_t width,
                                         std::size_t height) noexcept;

/// Scan and estimate in one call.
[[nodiscard]] BallEstimate find_ball(const unsigned char* rgb, std::size_t width,
                                     std::size_t height, std::size_t row_bytes) noexcept;

namespace detail {
/// Bit k (0 to 15) is set when pixel k of the 16 interleaved RGB pixels at `rgb48` (48
/// bytes) passes the blue test, as the scan's block path decides it. Exposed so that the
/// vectorised test can be checked against `is_clearly_blue` for every colour.
[[nodiscard]] std::uint16_t blue_flags16(const unsigned char* rgb48) noexcept;
}  // namespace detail

}  // namespace blue_ball
