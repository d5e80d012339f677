// Casting the rays: which objects each pixel's ray can meet (screen_bounds), which it meets
// first (nearest), and the frame row by row; how the surfaces look is surface_shading.cpp's.
#include "sim/render/renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "sim/model/ray_hits.h"
#include "sim/render/screen_bounds.h"
#include "sim/render/shading.h"
#include "sim/render/textures.h"

namespace sim {

using namespace render_detail;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

Renderer::Renderer(Scene scene) : scene_(std::move(scene)), textures_(&RenderTextures::shared()), body_(robotBodyAtStart())
{
    for (int axis = 0; axis < 3; ++axis) {
        for (int away = 0; away < 2; ++away) {
            faceLight_[axis][away] = lambert(faceNormal(axis, Vec3{1.0, 1.0, 1.0} * (away ? 1.0 : -1.0)));
        }
    }
    solids_.push_back(Solid{Solid::TableTop, scene_.tableTop, scene_.tableColour});
    for (const Box& leg : scene_.tableLegs) {
        solids_.push_back(Solid{Solid::Leg, leg, scene_.legColour});
    }
    for (const Block& b : scene_.blocks) {
        if (solids_.size() < kMaxSolids) {
            solids_.push_back(Solid{Solid::Block, b.box, b.colour});
        }
    }
}

void Renderer::setBody(std::vector<BodyPart> parts)
{
    if (parts.size() > kMaxBodyParts) {
        parts.resize(kMaxBodyParts);
    }
    std::lock_guard<std::mutex> lock(bodyMutex_);
    body_ = std::move(parts);
    ++bodyRevision_;
}

std::vector<BodyPart> Renderer::body() const
{
    std::lock_guard<std::mutex> lock(bodyMutex_);
    return body_;
}

std::uint64_t Renderer::bodyRevision() const
{
    std::lock_guard<std::mutex> lock(bodyMutex_);
    return bodyRevision_;
}

Renderer::Hit Renderer::nearest(const Vec3& o, const Vec3& d, const Vec3& ball, const std::vector<BodyPart>& body,
                                const PartFromEye* fromEye, Candidates candidates) const
{
    Hit hit;
    hit.t = kInf;
    if (candidates & 1u) {
        const Vec3 oc = o - ball;
        const double t = raySphereEntry(d, oc, oc.dot(oc) - scene_.ballRadius * scene_.ballRadius);
        if (t > 0.0) {
            hit.t = t;
            hit.what = Hit::Ball;
        }
    }
    // Visit only the set bits: most pixels have a candidate or two out of dozens.
    Candidates solids = (candidates >> 1) & ((Candidates{1} << kMaxSolids) - 1);
    if (solids != 0) {
        const Vec3 inv{1.0 / d.x, 1.0 / d.y, 1.0 / d.z};
        int axis = 0;
        for (; solids != 0; solids &= solids - 1) {
            const auto i = static_cast<std::size_t>(__builtin_ctzll(solids));
            if (i >= solids_.size()) {
                break;
            }
            const double t = rayBoxEntry(solids_[i].box.min - o, solids_[i].box.max - o, inv, &axis);
            if (t < hit.t) {
                hit = Hit{Hit::Solid, t, axis, &solids_[i], nullptr, Vec3{}};
            }
        }
    }
    Vec3 normal;
    for (Candidates parts = candidates >> kBodyBit; parts != 0; parts &= parts - 1) {
        const auto i = static_cast<std::size_t>(__builtin_ctzll(parts));
        if (i >= body.size()) {
            break;
        }
        const double t = fromEye != nullptr ? fromEye[i].intersect(d, &normal) : body[i].intersect(o, d, &normal);
        if (t > 0.0 && t < hit.t) {
            hit = Hit{Hit::Body, t, 0, nullptr, &body[i], normal};
        }
    }
    if (d.y < 0.0) {
        const double t = -o.y / d.y;
        if (t > 0.0 && t < hit.t) {
            hit = Hit{Hit::Floor, t, 1, nullptr, nullptr, Vec3{}};
        }
    }
    return hit;
}

Rgb Renderer::trace(const Vec3& o, const Vec3& d, const Vec3& ball) const
{
    std::uint8_t out[3];
    const std::vector<BodyPart> parts = body();
    FloorTile tile;
    shade(nearest(o, d, ball, parts, nullptr, kEverything), o, d, ball, tile, out);
    return Rgb{out[0], out[1], out[2]};
}

bool Renderer::seesBall(const Vec3& origin, const Vec3& direction, const Vec3& ball) const
{
    return nearest(origin, direction, ball, body(), nullptr, kEverything).what == Hit::Ball;
}

void Renderer::render(const Pose& camera, const Intrinsics& k, const Vec3& ball, std::uint8_t* pixels,
                      std::size_t rowBytes) const
{
    render(camera, k, ball, body(), pixels, rowBytes);
}

void Renderer::render(const Pose& camera, const Intrinsics& k, const Vec3& ball, const std::vector<BodyPart>& parts,
                      std::uint8_t* pixels, std::size_t rowBytes) const
{
    // Only rays that fall in an object's screen rectangle are tested against it.
    const double r = scene_.ballRadius;
    std::vector<Rect> rects;
    rects.reserve(solids_.size() + 1);
    rects.push_back(screenBounds(camera, k, corners(Box{ball - Vec3{r, r, r}, ball + Vec3{r, r, r}})));
    for (const Solid& solid : solids_) {
        rects.push_back(screenBounds(camera, k, corners(solid.box)));
    }
    // Empty rectangles keep the unused solid bits clear.
    rects.resize(kBodyBit, kNoPixels);
    const std::size_t bodyParts = std::min(parts.size(), kMaxBodyParts);
    std::vector<PartView> views;
    views.reserve(bodyParts);
    std::vector<PartFromEye> fromEye;
    fromEye.reserve(bodyParts);
    for (std::size_t i = 0; i < bodyParts; ++i) {
        fromEye.emplace_back(parts[i], camera.position);
        views.emplace_back(camera, k, parts[i], fromEye.back().bound());
        rects.push_back(views.back().rect);
    }

    // Ray direction for pixel (u, v) is right * (u - cx) + down * (v - cy) + forward.
    const Vec3 right = camera.orientation.column(0) * (-1.0 / k.fx);
    const Vec3 down = camera.orientation.column(1) * (-1.0 / k.fy);
    const Vec3 forward = camera.orientation.column(2);
    // The solids' corners relative to the eye, for the rays from it.
    std::array<Vec3, kMaxSolids> solidLo, solidHi;
    for (std::size_t i = 0; i < solids_.size(); ++i) {
        solidLo[i] = solids_[i].box.min - camera.position;
        solidHi[i] = solids_[i].box.max - camera.position;
    }
    constexpr Candidates kSolidBits = ((Candidates{1} << kMaxSolids) - 1) << 1;
    // Narrow spans are not worth the exact per-row test.
    constexpr long kCullWidth = 8;
    std::vector<Candidates> rowCandidates(k.width);
    FloorTile tile;
    for (std::size_t v = 0; v < k.height; ++v) {
        std::uint8_t* row = pixels + v * rowBytes;
        const Vec3 rowBase = forward + down * (static_cast<double>(v) - k.cy);
        const Vec3 rowStart = rowBase - right * k.cx; // the ray of column u is rowStart + right * u
        const long lv = static_cast<long>(v);
        std::fill(rowCandidates.begin(), rowCandidates.end(), Candidates{0});
        for (std::size_t i = 0; i < rects.size(); ++i) {
            const Rect& rect = rects[i];
            if (lv < rect.v0 || lv > rect.v1) {
                continue;
            }
            long u0 = std::max(rect.u0, 0L), u1 = std::min(rect.u1, static_cast<long>(k.width) - 1);
            long w0 = 1, w1 = 0;
            if (i >= kBodyBit) {
                const PartView& view = views[i - kBodyBit];
                if (view.perRow) {
                    view.rowSpan(k, static_cast<double>(v), &u0, &u1);
                }
                if (u1 - u0 >= kCullWidth) {
                    view.cullRow(rowStart, right, &u0, &u1, &w0, &w1);
                }
            }
            for (long u = u0; u <= u1; ++u) {
                rowCandidates[static_cast<std::size_t>(u)] |= Candidates{1} << i;
            }
            for (long u = w0; u <= w1; ++u) {
                rowCandidates[static_cast<std::size_t>(u)] |= Candidates{1} << i;
            }
        }
        for (std::size_t u = 0; u < k.width; ++u) {
            const Vec3 d = rowBase + right * (static_cast<double>(u) - k.cx);
            const Candidates candidates = rowCandidates[u];
            if ((candidates & kSolidBits) == candidates) {
                // Most pixels show only the floor, the sky or the table: the same as
                // nearest() and shade() would do, without their bookkeeping.
                const Vec3& o = camera.position;
                double tSolid = kInf;
                int axis = 0;
                const Solid* solid = nullptr;
                if (candidates != 0) {
                    const Vec3 inv{1.0 / d.x, 1.0 / d.y, 1.0 / d.z};
                    for (Candidates bits = candidates >> 1; bits != 0; bits &= bits - 1) {
                        const auto i = static_cast<std::size_t>(__builtin_ctzll(bits));
                        if (i >= solids_.size()) {
                            break;
                        }
                        int a = 0;
                        const double t = rayBoxEntry(solidLo[i], solidHi[i], inv, &a);
                        if (t < tSolid) {
                            tSolid = t;
                            axis = a;
                            solid = &solids_[i];
                        }
                    }
                }
                const double t = d.y < 0.0 ? -o.y / d.y : -1.0;
                if (t > 0.0 && t < tSolid) {
                    shadeFloor(o + d * t, t * d.norm(), ball, tile, row + 3 * u);
                } else if (solid != nullptr) {
                    shadeSolid(*solid, axis, o + d * tSolid, d, ball, row + 3 * u);
                } else {
                    textures_->background(d, row + 3 * u);
                }
                continue;
            }
            shade(nearest(camera.position, d, ball, parts, fromEye.data(), candidates), camera.position, d, ball, tile, row + 3 * u);
        }
    }
}

} // namespace sim
