#include "sim/render/textures.h"

#include <algorithm>
#include <cmath>

#include "sim/render/shading.h"

namespace sim {

using namespace render_detail;

namespace {

std::uint32_t hash2(std::int64_t x, std::int64_t y)
{
    std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ULL
                      ^ static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 32;
    return static_cast<std::uint32_t>(h);
}

// Smooth value noise in [0, 1] on a lattice that repeats every `period` cells.
double valueNoise(double x, double y, int period)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto at = [period](std::int64_t i, std::int64_t j) { return lattice(i % period, j % period); };
    const double a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
    return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

// atan2 to within a few thousandths of a radian: plenty for placing mountains.
double fastAtan2(double y, double x)
{
    const double ax = std::abs(x), ay = std::abs(y);
    const double mx = std::max(ax, ay);
    if (mx == 0.0) {
        return 0.0;
    }
    const double a = std::min(ax, ay) / mx;
    const double s = a * a;
    double r = ((-0.0464964749 * s + 0.15931422) * s - 0.327622764) * s * a + a;
    if (ay > ax) {
        r = 1.57079637 - r;
    }
    if (x < 0) {
        r = 3.14159274 - r;
    }
    return y < 0 ? -r : r;
}

} // namespace

double render_detail::lattice(std::int64_t x, std::int64_t y) { return (hash2(x, y) & 0xFFFF) * (1.0 / 65535.0); }

// The sky and the mountains on the horizon along direction d.
void RenderTextures::sky(const Vec3& d, std::uint8_t* out) const
{
    const double len = d.norm();
    const double s = d.y / len; // sine of the elevation
    const double azimuth = fastAtan2(d.x, d.z);
    const double ridge = 0.035 + 0.022 * wave(azimuth * 0.48 + 0.16) + 0.014 * wave(azimuth * 1.11 + 0.3)
                         + 0.007 * wave(azimuth * 2.7) - 0.005;
    if (s < ridge) {
        // Mountains: grey-brown rock, lighter toward the top, snow on the high peaks.
        const double rel = std::clamp(s / std::max(ridge, 1e-3), 0.0, 1.0);
        Colour rock = mix(Colour{78, 74, 70}, Colour{124, 118, 112}, rel);
        rock = rock * (0.8 + 0.4 * smooth(azimuth * 12.0, s * 60.0));
        if (ridge > 0.045 && s > ridge - 0.006) {
            rock = mix(rock, Colour{215, 215, 215}, 0.7);
        }
        notBlue(rock, out);
        return;
    }
    const double up = std::sqrt(std::clamp(s, 0.0, 1.0));
    Colour sky = mix(Colour{176, 190, 198}, Colour{92, 126, 148}, up);
    // Clouds on a layer high above: project the ray onto it and look the noise up there.
    const double k = 1.0 / (std::max(s, 0.05) * len);
    const double n = smooth(d.x * k * 0.8, d.z * k * 0.8);
    const double cover = std::clamp((n - 0.48) * 3.0, 0.0, 1.0);
    sky = mix(sky, Colour{226, 228, 230}, cover * 0.9);
    notBlue(sky, out);
}

RenderTextures::RenderTextures()
{
    // Two octaves of value noise.
    noise.resize(static_cast<std::size_t>(kNoiseSize) * kNoiseSize);
    const double scale = static_cast<double>(kNoiseCells) / kNoiseSize;
    for (int j = 0; j < kNoiseSize; ++j) {
        for (int i = 0; i < kNoiseSize; ++i) {
            const double n = 0.65 * valueNoise(i * scale, j * scale, kNoiseCells)
                             + 0.35 * valueNoise(i * scale * 2.0, j * scale * 2.0, 2 * kNoiseCells);
            noise[static_cast<std::size_t>(j) * kNoiseSize + i] = static_cast<float>(n);
        }
    }
    // The speckle: a corner of the noise, in bytes.
    speckle.resize(static_cast<std::size_t>(kSpeckleSize) * kSpeckleSize);
    for (int j = 0; j < kSpeckleSize; ++j) {
        for (int i = 0; i < kSpeckleSize; ++i) {
            const double n = noise[static_cast<std::size_t>(j) * kNoiseSize + i];
            speckle[static_cast<std::size_t>(j) * kSpeckleSize + i] =
                static_cast<std::uint8_t>(std::clamp(n, 0.0, 1.0) * 255.0 + 0.5);
        }
    }
    // The sky depends on the direction only: one panorama serves every view.
    panorama.resize(static_cast<std::size_t>(kPanoramaAzimuths) * kPanoramaElevations * 3);
    for (int e = 0; e < kPanoramaElevations; ++e) {
        const double s = static_cast<double>(e) / (kPanoramaElevations - 1);
        const double c = std::sqrt(std::max(0.0, 1.0 - s * s));
        for (int a = 0; a < kPanoramaAzimuths; ++a) {
            const double azimuth = (a + 0.5) * 2.0 * kPi / kPanoramaAzimuths - kPi;
            sky(Vec3{c * std::sin(azimuth), s, c * std::cos(azimuth)},
                &panorama[(static_cast<std::size_t>(e) * kPanoramaAzimuths + a) * 3]);
        }
    }
}

const RenderTextures& RenderTextures::shared()
{
    static const RenderTextures textures;
    return textures;
}

void RenderTextures::background(const Vec3& d, std::uint8_t* out) const
{
    const double len = d.norm();
    const double s = std::clamp(d.y / len, 0.0, 1.0);
    const double azimuth = fastAtan2(d.x, d.z);
    const int a = std::clamp(static_cast<int>((azimuth + kPi) * (kPanoramaAzimuths / (2.0 * kPi))), 0,
                             kPanoramaAzimuths - 1);
    const int e = static_cast<int>(s * (kPanoramaElevations - 1) + 0.5);
    const std::uint8_t* texel = &panorama[(static_cast<std::size_t>(e) * kPanoramaAzimuths + a) * 3];
    out[0] = texel[0];
    out[1] = texel[1];
    out[2] = texel[2];
}

} // namespace sim
