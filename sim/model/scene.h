#pragma once
// The fixed furniture of the simulated world: an infinite tiled floor at y = 0 and a table
// in front of the robot, as in the real simulator; on request also a red and a green block
// further away. The ball is not part of it: it moves, and lives in WorldModel.
#include <array>
#include <cstdint>
#include <vector>

#include "sim/model/geometry.h"

namespace sim {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

/// Axis-aligned box.
struct Box {
    Vec3 min;
    Vec3 max;

    bool containsXZ(double x, double z) const { return x >= min.x && x <= max.x && z >= min.z && z <= max.z; }
};

/// A plain-coloured block standing in the world.
struct Block {
    Box box;
    Rgb colour;
};

struct Scene {
    Box tableTop;                 ///< the top slab; its upper face is where things rest
    std::array<Box, 4> tableLegs; ///< from the floor up to the top slab
    std::vector<Block> blocks;    ///< coloured blocks on the floor
    Rgb tableColour{113, 113, 0};
    Rgb legColour{40, 40, 8};
    double ballRadius = 0.04;
    /// Height of the ball's centre above whatever it lies on: the real simulator's 4 cm
    /// sphere sinks 1 mm into its support, resting at 0.554 m on the table, 0.039 m on the
    /// floor.
    double ballRestHeight = 0.039;

    /// Height of the table's upper face.
    double tableHeight() const { return tableTop.max.y; }

    /// The world every robot_sim starts with: floor and table, like the real simulator's.
    static Scene standard();
    /// The standard world with a red and a green block on the floor beyond the table.
    static Scene withExtraObjects();
};

} // namespace sim
