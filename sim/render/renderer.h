#pragma once
// Ray-casting renderer of the left camera's view: one analytic ray per pixel against the
// ball (sphere), the table and blocks (boxes), the robot's own body (capsules and boxes)
// and the floor (plane), under a sky with clouds and mountains. The ball is pure blue (red
// and green zero), shaded from above; besides it only the body's navy covers pass the
// controller's blue test (B > 1.2 R + 10 and B > 1.2 G + 10), as in the real simulator.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "sim/model/robot_body.h"
#include "sim/model/robot_model.h"
#include "sim/model/scene.h"
#include "sim/render/camera.h"

namespace sim {

struct RenderTextures;

class Renderer {
public:
    /// Draws `scene` and the robot's body, which starts with both arms at the start pose.
    explicit Renderer(Scene scene);

    /// Renders the view of `camera` with the ball centred at `ball` into `pixels`: k.height
    /// rows of k.width RGB triples, consecutive rows `rowBytes` apart (at least 3 * width).
    /// The body is drawn as last set with setBody().
    void render(const Pose& camera, const Intrinsics& k, const Vec3& ball, std::uint8_t* pixels,
                std::size_t rowBytes) const;
    /// The same with the body given (at most kMaxBodyParts parts are drawn).
    void render(const Pose& camera, const Intrinsics& k, const Vec3& ball, const std::vector<BodyPart>& body,
                std::uint8_t* pixels, std::size_t rowBytes) const;

    /// Colour seen along one ray (origin, direction of any non-zero length).
    Rgb trace(const Vec3& origin, const Vec3& direction, const Vec3& ball) const;

    /// True when the first thing along the ray is the ball (nothing hides it).
    bool seesBall(const Vec3& origin, const Vec3& direction, const Vec3& ball) const;

    /// Replaces the body drawn from now on (at most kMaxBodyParts parts; more are dropped).
    /// May be called while another thread renders.
    void setBody(std::vector<BodyPart> parts);
    std::vector<BodyPart> body() const;
    /// Counts setBody() calls: a frame drawn at an older count shows an outdated body.
    std::uint64_t bodyRevision() const;

    const Scene& scene() const { return scene_; }

    static constexpr std::size_t kMaxSolids = 15;
    static constexpr std::size_t kMaxBodyParts = 48;

private:
    /// A box of the scene with how it looks.
    struct Solid {
        enum Kind { TableTop, Leg, Block } kind = Block;
        Box box;
        Rgb colour;
    };
    /// Which objects a ray is tested against: bit 0 the ball, bit i + 1 solid i, bit
    /// kMaxSolids + 1 + i body part i.
    using Candidates = std::uint64_t;
    static constexpr Candidates kEverything = ~Candidates{0};
    static constexpr std::size_t kBodyBit = kMaxSolids + 1;
    static_assert(kBodyBit + kMaxBodyParts <= 64, "one candidate bit per object");

    struct Hit {
        enum What { Nothing, Ball, Solid, Body, Floor } what = Nothing;
        double t = 0.0;
        int axis = 0;
        const Renderer::Solid* solid = nullptr;
        const BodyPart* part = nullptr;
        Vec3 normal; ///< body parts only: the outward normal where the ray enters
    };
    /// `fromEye`, when given, holds the body's parts prepared for rays from `origin`.
    Hit nearest(const Vec3& origin, const Vec3& direction, const Vec3& ball, const std::vector<BodyPart>& body,
                const PartFromEye* fromEye, Candidates candidates) const;
    /// The floor tile last shaded: neighbouring pixels mostly fall on the same tile.
    struct FloorTile {
        double x = -1e300, z = -1e300; ///< the tile's corner, in tiles
        double shade = 0.0;           ///< its own shade
    };
    // Shading writes one RGB triple to `out`.
    void shade(const Hit& hit, const Vec3& origin, const Vec3& direction, const Vec3& ball, FloorTile& tile,
               std::uint8_t* out) const;
    void shadeSolid(const Solid& solid, int axis, const Vec3& point, const Vec3& direction, const Vec3& ball,
                    std::uint8_t* out) const;
    void shadeFloor(const Vec3& point, double distance, const Vec3& ball, FloorTile& lastTile, std::uint8_t* out) const;

    Scene scene_;
    std::vector<Solid> solids_; ///< the table top, its legs and the blocks (at most kMaxSolids)
    double faceLight_[3][2]; ///< lighting of a box face by axis; [1]: the face looking toward -axis
    const RenderTextures* textures_; ///< noise and sky panorama, shared by all renderers

    mutable std::mutex bodyMutex_;
    std::vector<BodyPart> body_;
    std::uint64_t bodyRevision_ = 0;
};

} // namespace sim
