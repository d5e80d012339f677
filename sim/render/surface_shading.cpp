// How the renderer's surfaces look where a ray meets them: the ball, the table and the
// blocks, the body, the tiled floor; the sky comes from the textures' panorama.
#include <algorithm>
#include <cstdint>

#include "sim/render/renderer.h"
#include "sim/render/shading.h"
#include "sim/render/textures.h"

namespace sim {

using namespace render_detail;

void Renderer::shade(const Hit& hit, const Vec3& o, const Vec3& d, const Vec3& ball, FloorTile& tile,
                     std::uint8_t* out) const
{
    if (hit.what == Hit::Nothing) {
        textures_->background(d, out);
        return;
    }
    const Vec3 p = o + d * hit.t;
    switch (hit.what) {
    case Hit::Ball: {
        const Vec3 n = (p - ball) * (1.0 / scene_.ballRadius);
        const double lit = std::max(0.0, n.dot(kLight));
        out[0] = 0;
        out[1] = 0;
        out[2] = toByte(27.0 + 133.0 * lit);
        return;
    }
    case Hit::Solid:
        shadeSolid(*hit.solid, hit.axis, p, d, ball, out);
        return;
    case Hit::Body: {
        // No notBlue() here: the navy covers pass the blue test, as the real ones do.
        const Vec3& n = hit.normal;
        writeRgb(fromRgb(hit.part->colourFacing(n)) * lambert(n), out);
        return;
    }
    case Hit::Floor:
        shadeFloor(p, hit.t * d.norm(), ball, tile, out);
        return;
    case Hit::Nothing:
        break;
    }
    textures_->background(d, out);
}

void Renderer::shadeSolid(const Solid& solid, int axis, const Vec3& p, const Vec3& d, const Vec3& ball,
                          std::uint8_t* out) const
{
    const double along = axis == 0 ? d.x : (axis == 1 ? d.y : d.z);
    const bool facesAway = along > 0; // the face's normal points against +axis
    const double lit = faceLight_[axis][facesAway ? 1 : 0];
    Colour col = fromRgb(solid.colour);
    if (solid.kind != Solid::TableTop) {
        notBlue(col * lit, out);
        return;
    }
    if (axis == 1 && !facesAway) {
        // Faint wood grain across the upper face, and the ball's shadow on it.
        col = col * (0.97 + 0.05 * wave(p.z * 22.0 + 0.6 * wave(p.x * 1.3)));
        const double bx = p.x - ball.x, bz = p.z - ball.z;
        const double r = scene_.ballRadius;
        if (ball.y > p.y && bx * bx + bz * bz < r * r) {
            col = col * 0.55;
        }
    } else {
        col = col * 0.35; // the slab's edges and underside are in shade
    }
    notBlue(col * lit, out);
}

void Renderer::shadeFloor(const Vec3& p, double distance, const Vec3& ball, FloorTile& lastTile, std::uint8_t* out) const
{
    const Colour horizon{160, 166, 160};
    if (distance > 1000.0) {
        writeRgb(horizon, out); // too far for any detail (and for exact texture coordinates)
        return;
    }
    // Square tiles 0.6 m wide with dark grout, each tile its own shade.
    constexpr double tile = 0.6;
    constexpr double perTile = 1.0 / tile;
    const double tx = p.x * perTile + 0.5, tz = p.z * perTile;
    const double ftx = fastFloor(tx), ftz = fastFloor(tz);
    const double fx = tx - ftx, fz = tz - ftz;
    Colour c{114, 121, 106};
    if (ftx != lastTile.x || ftz != lastTile.z) {
        lastTile.x = ftx;
        lastTile.z = ftz;
        lastTile.shade = 0.88 + 0.24 * lattice(static_cast<std::int64_t>(ftx), static_cast<std::int64_t>(ftz));
    }
    c = c * (lastTile.shade * (0.9 + 0.2 * textures_->grain(p.x * 6.0, p.z * 6.0)));
    const double grout = 0.012 / tile;
    if (fx < grout || fx > 1.0 - grout || fz < grout || fz > 1.0 - grout) {
        c = c * 0.55;
    }
    // Light from above: the table top shades the floor under it; the ball casts a shadow
    // on the floor when nothing is between them.
    const bool underTable = scene_.tableTop.containsXZ(p.x, p.z);
    if (underTable) {
        c = c * 0.6;
    }
    const double bx = p.x - ball.x, bz = p.z - ball.z;
    if (!underTable && ball.y > p.y && bx * bx + bz * bz < scene_.ballRadius * scene_.ballRadius) {
        c = c * 0.55;
    }
    // Haze with distance hides the aliasing of far tiles.
    const double haze = distance / (distance + 14.0);
    writeRgb(mix(c, horizon, haze), out);
}

} // namespace sim
