#include "sim/scene.h"

namespace sim {

Scene Scene::standard()
{
    Scene s;
    // The table's upper face is 0.514 m high, so the 4 cm ball rests with its centre at
    // 0.554 m; the front edge is 0.245 m in front of the robot.
    s.tableTop = Box{{-0.45, 0.494, 0.245}, {0.45, 0.514, 0.75}};
    const double legHalf = 0.018;
    const double xs[2] = {-0.38, 0.38};
    const double zs[2] = {0.30, 0.69};
    int i = 0;
    for (double x : xs) {
        for (double z : zs) {
            s.tableLegs[i++] = Box{{x - legHalf, 0.0, z - legHalf}, {x + legHalf, 0.494, z + legHalf}};
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
