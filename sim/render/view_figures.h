#pragma once
// What a camera frame shows of the ball and of the robot's own body, in the figures the
// stand-in is held to against the real simulator: the pure-blue pixels (the ball: R <= 12,
// G <= 12, B >= 20), and the pixels that pass the ball finder's blue test (B > 1.2 R + 10
// and B > 1.2 G + 10) without being pure blue (the navy covers of the body), each as count
// and centroid, the body's also on a 4 x 4 grid of cells. head_views writes them for the
// real simulator's frames; the suites measure the stand-in's the same way.
#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

namespace sim {

struct ViewFigures {
    static constexpr int kGrid = 4;
    long ball = 0;
    double ballU = -1.0, ballV = -1.0; ///< -1: no ball pixels
    long body = 0;
    double bodyU = -1.0, bodyV = -1.0; ///< -1: no body pixels
    std::array<long, kGrid * kGrid> bodyCells{}; ///< row by row, cells of width/4 x height/4
};

/// Figures of an RGB image (`rowBytes` bytes per row, three per pixel).
ViewFigures measureView(const std::uint8_t* rgb, std::size_t width, std::size_t height, std::size_t rowBytes);

/// The figures as one line of numbers: ball count, u, v, body count, u, v, the 16 cells.
std::string toText(const ViewFigures& f);

/// Reads what toText() wrote; false (and `in` failed) when the numbers are not all there.
bool readFigures(std::istream& in, ViewFigures* f);

} // namespace sim
