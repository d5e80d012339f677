#pragma once
// The renderer's procedural textures: smooth tileable noise (clouds, rock), the floor's
// speckle, and the sky with its mountains as one panorama. They depend on nothing but
// constants, so they are built once per process (on first use) and only read afterwards.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/model/geometry.h"

namespace sim {

namespace render_detail {

constexpr int kNoiseSize = 256;   // texels per side of the noise texture
constexpr int kNoiseCells = 16;   // lattice cells per side (the texture tiles seamlessly)
constexpr int kSpeckleSize = 128; // texels per side of the floor's speckle texture
constexpr int kPanoramaAzimuths = 2048;
constexpr int kPanoramaElevations = 1024; // sine of the elevation from 0 to 1

// floor() without the library call (the default x86-64 target has no rounding instruction).
inline double fastFloor(double x)
{
    const auto truncated = static_cast<double>(static_cast<std::int64_t>(x));
    return truncated - (x < truncated ? 1.0 : 0.0);
}

// Triangle wave in [0, 1] with period 1: a cheap stand-in for a sine in textures.
inline double wave(double x)
{
    const double f = x - fastFloor(x);
    return f < 0.5 ? 2.0 * f : 2.0 - 2.0 * f;
}

// A value in [0, 1] for each point of the integer lattice, the same every run.
double lattice(std::int64_t x, std::int64_t y);

} // namespace render_detail

struct RenderTextures {
    std::vector<float> noise;          // tileable smooth noise, kNoiseSize^2 values in [0, 1]
    std::vector<std::uint8_t> speckle; // kSpeckleSize^2 bytes of the noise: small enough to stay in cache
    std::vector<std::uint8_t> panorama; // RGB sky by azimuth and sine of the elevation

    RenderTextures();

    /// The textures every renderer shares.
    static const RenderTextures& shared();

    // Bilinear lookup; one lattice cell of the texture spans one unit of (x, y).
    double smooth(double x, double y) const
    {
        using namespace render_detail;
        const double tx = x * (static_cast<double>(kNoiseSize) / kNoiseCells);
        const double ty = y * (static_cast<double>(kNoiseSize) / kNoiseCells);
        const double fx = fastFloor(tx), fy = fastFloor(ty);
        const double ax = tx - fx, ay = ty - fy;
        const auto wrap = [](double v) { return static_cast<std::size_t>(static_cast<std::int64_t>(v) & (kNoiseSize - 1)); };
        const std::size_t i0 = wrap(fx), i1 = (i0 + 1) & (kNoiseSize - 1);
        const std::size_t j0 = wrap(fy), j1 = (j0 + 1) & (kNoiseSize - 1);
        const double a = noise[j0 * kNoiseSize + i0], b = noise[j0 * kNoiseSize + i1];
        const double c = noise[j1 * kNoiseSize + i0], d = noise[j1 * kNoiseSize + i1];
        return a + (b - a) * ax + (c - a) * ay + (a - b - c + d) * ax * ay;
    }

    // Nearest texel, in [0, 1]: the floor's speckle is fine enough not to need filtering.
    // Far floor pixels hit texels at random, so the speckle comes from a texture small
    // enough to stay in the cache.
    double grain(double x, double y) const
    {
        using namespace render_detail;
        const double scale = static_cast<double>(kNoiseSize) / kNoiseCells;
        const auto i = static_cast<std::size_t>(static_cast<std::int64_t>(fastFloor(x * scale)) & (kSpeckleSize - 1));
        const auto j = static_cast<std::size_t>(static_cast<std::int64_t>(fastFloor(y * scale)) & (kSpeckleSize - 1));
        return speckle[j * kSpeckleSize + i] * (1.0 / 255.0);
    }

    /// The sky (or mountain) along direction d, looked up in the panorama.
    void background(const Vec3& d, std::uint8_t* out) const;

private:
    // The sky and the mountains along d, worked out (to fill the panorama).
    void sky(const Vec3& d, std::uint8_t* out) const;
};

} // namespace sim
