#include "sim/model/scene.h"

namespace sim {

Scene Scene::standard()
{
    Scene s;
    // The real simulator's table: a top 0.70 x 0.03 x 0.40 m centred at (0, 0.50, 0.45), so
    // its upper face is 0.515 m high and spans x -0.35..0.35, z 0.25..0.65; four legs
    // 0.03 x 0.50 x 0.03 standing at x = +-0.3, z = 0.3 and 0.6, up to the top's underside.
    s.tableTop = Box{{-0.35, 0.485, 0.25}, {0.35, 0.515, 0.65}};
    const double legHalf = 0.015;
    const double xs[2] = {-0.3, 0.3};
    const double zs[2] = {0.3, 0.6};
    int i = 0;
    for (double x : xs) {
        for (double z : zs) {
            s.tableLegs[i++] = Box{{x - legHalf, 0.0, z - legHalf}, {x + legHalf, s.tableTop.min.y, z + legHalf}};
        }
    }
    return s;
}

Scene Scene::withExtraObjects()
{
    Scene s = standard();
    s.blocks.push_back(Block{Box{{0.45, 0.0, 1.45}, {0.75, 0.40, 1.75}}, Rgb{190, 35, 30}});
    s.blocks.push_back(Block{Box{{-0.85, 0.0, 1.75}, {-0.55, 0.50, 2.05}}, Rgb{45, 160, 50}});
    return s;
}

} // namespace sim
