#pragma once
// Shared by the simulator suites: the controller's blue test, rendering a view into a
// buffer, and putting the head in a pose.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/simulation/simulation.h"

namespace sim_test {

/// Pixels that pass the ball finder's blue test, and their centroid.
struct BlueBlob {
    long count = 0;
    double u = 0.0;
    double v = 0.0;
};

inline bool passesBlueTest(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return b > 1.2 * r + 10 && b > 1.2 * g + 10;
}

inline BlueBlob findBlue(const std::vector<std::uint8_t>& rgb, std::size_t width, std::size_t height)
{
    BlueBlob blob;
    double su = 0.0, sv = 0.0;
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* p = &rgb[(y * width + x) * 3];
            if (passesBlueTest(p[0], p[1], p[2])) {
                ++blob.count;
                su += static_cast<double>(x);
                sv += static_cast<double>(y);
            }
        }
    }
    if (blob.count > 0) {
        blob.u = su / static_cast<double>(blob.count);
        blob.v = sv / static_cast<double>(blob.count);
    }
    return blob;
}

/// Pixels of the ball alone: pure blue (the body's navy has a clearly non-zero green).
inline BlueBlob findPureBlue(const std::vector<std::uint8_t>& rgb, std::size_t width, std::size_t height)
{
    BlueBlob blob;
    double su = 0.0, sv = 0.0;
    for (std::size_t i = 0; i < width * height; ++i) {
        const std::uint8_t* p = &rgb[i * 3];
        if (p[0] <= 12 && p[1] <= 12 && p[2] >= 20) {
            ++blob.count;
            su += static_cast<double>(i % width);
            sv += static_cast<double>(i / width);
        }
    }
    if (blob.count > 0) {
        blob.u = su / static_cast<double>(blob.count);
        blob.v = sv / static_cast<double>(blob.count);
    }
    return blob;
}

/// The left eye's view with the head at `head` (six joints) and both arms at their start
/// pose.
inline std::vector<std::uint8_t> renderView(const sim::Renderer& renderer, const std::vector<double>& head,
                                            const sim::Intrinsics& k, const sim::Vec3& ball)
{
    const std::vector<double> arm = sim::armStartPose();
    std::vector<std::uint8_t> rgb(k.width * k.height * 3);
    renderer.render(sim::leftEyePose(head.data()), k, ball, sim::robotBody(head.data(), arm.data(), arm.data()),
                    rgb.data(), k.width * 3);
    return rgb;
}

/// Drives the head of `sim` to `pose` (six joints) in position mode on simulated time.
inline void moveHead(sim::Simulation& sim, const std::vector<double>& pose)
{
    const std::vector<double> fast(6, 1000.0), brisk(6, 1e5);
    sim.head().setRefSpeeds(fast.data());
    sim.head().setRefAccelerations(brisk.data());
    sim.head().positionMove(pose.data());
    for (int i = 0; i < 300; ++i) {
        bool done = false;
        sim.head().checkMotionDone(&done);
        if (done) {
            return;
        }
        sim.step(0.01);
    }
}

} // namespace sim_test
