#pragma once
// The ball finder's image arithmetic, kept free of threads, the Space and YARP so that it
// can be tested exhaustively and timed on its own: the colour test for "clearly blue", the
// test that tells the ball's pure blue from the navy of the robot's own covers, the grouping
// of ball-coloured pixels into connected blobs, and the choice of the blob that is the ball.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace blue_ball {

/// The blue test in integer form: B > 1.2 R + 10 and B > 1.2 G + 10, both strict.
///
/// Multiplying by five turns the test into 5B > 6R + 50 and 5B > 6G + 50, which gives the
/// same answer as the double-precision form for every one of the 2^24 colours (the test
/// suite checks all of them).
constexpr bool is_clearly_blue(std::uint8_t r, std::uint8_t g, std::uint8_t b) noexcept {
    return 5 * int{b} > 6 * int{r} + 50 && 5 * int{b} > 6 * int{g} + 50;
}

/// Blue with next to no red or green: B > 3 max(R, G).
///
/// The simulator renders the ball in blue alone (R = G = 0 from its lit top to its dark
/// bottom), while the navy covers of the robot's arms and feet, which also pass the blue
/// test, carry about half as much green as blue (around RGB 12 38 70).
constexpr bool is_pure_blue(std::uint8_t r, std::uint8_t g, std::uint8_t b) noexcept {
    return int{b} > 3 * (r > g ? int{r} : int{g});
}

/// A pixel the ball can be made of: clearly blue and pure blue.
constexpr bool is_ball_coloured(std::uint8_t r, std::uint8_t g, std::uint8_t b) noexcept {
    return is_clearly_blue(r, g, b) && is_pure_blue(r, g, b);
}

/// The smallest number of blue pixels that is not yet a ball: (width div 20) x (height div
/// 20), the pixels of one twentieth of the image in each direction. An image narrower or
/// lower than 20 pixels has 0, so one blue pixel is enough there.
[[nodiscard]] constexpr std::uint64_t minimum_ball_pixels(std::size_t width,
                                                          std::size_t height) noexcept {
    return std::uint64_t{width / 20} * std::uint64_t{height / 20};
}

/// One 8-connected blob of ball-coloured pixels, with the measures that tell a ball from
/// other shapes. Each pixel counts as a unit square, so that the measures mean the same for
/// a blob of one pixel as for one of thousands. The shape is measured only for blobs large
/// enough to be the ball (more than `minimum_ball_pixels`); smaller ones keep 1 and 1.
struct Blob {
    std::uint64_t count = 0;  ///< pixels in the blob
    double x = 0.0;           ///< centroid column (mean column of its pixels)
    double y = 0.0;           ///< centroid row
    double elongation = 1.0;  ///< ratio of the longest to the shortest axis, 1 for a disc
    double fill = 1.0;        ///< share of the ellipse of the same spread that the pixels
                              ///< cover: about 1 for a disc, far less for a ring or a sprawl
};

/// Blobs longer than this many times their width are no ball (an arm, a stick, a sliver).
inline constexpr double kMaxBallElongation = 3.0;
/// Blobs that cover less than this share of their ellipse are no ball.
inline constexpr double kMinBallFill = 0.5;

/// A compact, round blob: the shape of a ball seen whole or partly hidden.
[[nodiscard]] constexpr bool looks_like_ball(const Blob& blob) noexcept {
    return blob.elongation <= kMaxBallElongation && blob.fill >= kMinBallFill;
}

/// Where the ball is, as far as one image tells.
struct BallEstimate {
    double x = 0.0;          ///< centroid column of the ball's pixels; 0 when not found
    double y = 0.0;          ///< centroid row; 0 when not found
    std::size_t width = 0;   ///< image width in pixels
    std::size_t height = 0;  ///< image height in pixels
    bool found = false;      ///< whether a ball-like blob of more than the minimum size was seen
};

/// Finds the ball in interleaved 8-bit RGB images.
///
/// Every pixel goes through the blue test; those that pass and are pure blue are grouped
/// into 8-connected blobs (one pass over the image, runs of pixels joined row to row). The
/// ball is the largest blob that looks like a ball (compact and round); it is found when it
/// has more pixels than `minimum_ball_pixels`. Blue that is not pure (the robot's navy
/// covers) and elongated or sprawling blobs are never reported.
///
/// The finder keeps its working buffers between calls: once it has seen an image with as
/// many rows, runs and blobs, a call allocates nothing. One finder serves one thread.
class BallFinder {
public:
    /// Scans an image and returns the estimate.
    ///
    /// @param rgb        first byte of row 0; pixel (x, y) starts at rgb + y * row_bytes + 3 * x
    ///                   and holds red, green, blue in that order
    /// @param width      pixels per row
    /// @param height     number of rows
    /// @param row_bytes  distance between the starts of two rows; at least 3 * width (rows
    ///                   may carry padding, which is not read)
    ///
    /// A null `rgb` or an empty image is not found (with the given width and height).
    BallEstimate find(const unsigned char* rgb, std::size_t width, std::size_t height,
                      std::size_t row_bytes);

    /// The blobs of the last `find`, in the order their first pixel was scanned (rows top to
    /// bottom, columns left to right); see Blob for which ones have their shape measured.
    [[nodiscard]] const std::vector<Blob>& blobs() const { return blob_list; }

private:
    struct Run {
        std::int32_t x0;      // first column
        std::int32_t x1;      // one past the last column
        std::int32_t y;       // row
        std::int32_t parent;  // union-find link; never larger than the run's own index
    };
    struct Sums {
        std::uint64_t count = 0, sum_x = 0, sum_y = 0;
        double sum_xx = 0, sum_yy = 0, sum_xy = 0;
    };

    void label_row(std::size_t previous_begin, std::size_t row_begin);
    void append_runs(std::size_t y);
    std::int32_t root(std::int32_t run);
    void join(std::int32_t a, std::int32_t b);
    void collect_blobs(std::uint64_t shape_threshold);
    static void measure_shape(const Sums& sums, Blob& blob);

    std::vector<std::uint64_t> lanes;  // ball-coloured pixels of one row, three bits each
    std::vector<Run> runs;             // every run of the image, in scan order
    std::vector<std::int32_t> blob_of_root;
    std::vector<Sums> sums;
    std::vector<Blob> blob_list;
};

/// The blob that is the ball: the largest one that looks like a ball and has more than
/// `minimum` pixels (the first of equals in `blobs`' order); nullptr when there is none.
[[nodiscard]] const Blob* choose_ball(const std::vector<Blob>& blobs,
                                      std::uint64_t minimum) noexcept;

namespace detail {
/// How the scan's block path classifies the 16 interleaved RGB pixels at `rgb48` (48
/// bytes): bit k of `blue` is set when pixel k passes the blue test, bit k of `ball` when it
/// is ball-coloured. Exposed so that the vectorised tests can be checked against
/// `is_clearly_blue` and `is_ball_coloured` for every colour.
struct BlockFlags {
    std::uint16_t blue = 0;
    std::uint16_t ball = 0;
};
[[nodiscard]] BlockFlags block_flags(const unsigned char* rgb48) noexcept;
}  // namespace detail

}  // namespace blue_ball
