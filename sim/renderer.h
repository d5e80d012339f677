#pragma once
// Ray-casting renderer of the left camera's view: one analytic ray per pixel against the
// ball (sphere), the table and blocks (boxes) and the floor (plane), under a sky with
// clouds and mountains. The ball is pure blue (red and green zero), shaded from above;
// nothing else in the picture passes the controller's blue test
// (B > 1.2 R + 10 and B > 1.2 G + 10).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/camera.h"
#include "sim/robot_model.h"
#include "sim/scene.h"

namespace sim {

struct RenderTextures;

class Renderer {
public:
    explicit Renderer(Scene scene);

    /// Renders the view of `camera` with the ball centred at `ball` into `pixels`: k.height
    /// rows of k.width RGB triples, consecutive rows `rowBytes` apart (at least 3 * width).
    void render(const Pose& camera, const Intrinsics& k, const Vec3& ball, std::uint8_t* pixels,
                std::size_t rowBytes) const;

    /// Colour seen along one ray (origin, direction of any non-zero length).
    Rgb trace(const Vec3& origin, const Vec3& direction, const Vec3& ball) const;

    /// True when the first thing along the ray is the ball (nothing hides it).
    bool seesBall(const Vec3& origin, const Vec3& direction, const Vec3& ball) const;

    const Scene& scene() const { return scene_; }

private:
    /// A box of the scene with how it looks.
    struct Solid {
        enum Kind { TableTop, Leg, Block } kind = Block;
        Box box;
        Rgb colour;
    };
    /// Which objects a ray is tested against: bit 0 the ball, bit i + 1 solid i.
    using Candidates = std::uint32_t;
    static constexpr Candidates kEverything = ~Candidates{0};
    static constexpr std::size_t kMaxSolids = 31;

    struct Hit {
        enum What { Nothing, Ball, Solid, Floor } what = Nothing;
        double t = 0.0;
        int axis = 0;
        const Renderer::Solid* solid = nullptr;
    };
    Hit nearest(const Vec3& origin, const Vec3& direction, const Vec3& ball, Candidates candidates) const;
    // Shading writes one RGB triple to `out`.
    void shade(const Hit& hit, const Vec3& origin, const Vec3& direction, const Vec3& ball, std::uint8_t* out) const;
    void background(const Vec3& direction, std::uint8_t* out) const;
    void shadeFloor(const Vec3& point, double distance, const Vec3& ball, std::uint8_t* out) const;

    Scene scene_;
    std::vector<Solid> solids_; ///< the table top, its legs and the blocks (at most kMaxSolids)
    const RenderTextures* textures_; ///< noise and sky panorama, shared by all renderers
};

} // namespace sim
