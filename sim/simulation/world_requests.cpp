#include "sim/simulation/world_requests.h"

#include <cmath>

namespace sim {

namespace {

/// Longest quote of a request item in an error: a failure names the offending item, but a
/// huge request is not echoed back to its sender.
constexpr std::size_t kMaxQuote = 80;

WorldReply failure(std::string why) { return WorldReply{false, {}, std::move(why)}; }

WorldReply coordinates(const Vec3& p) { return WorldReply{true, {p.x, p.y, p.z}, {}}; }

bool isWord(const std::vector<RequestItem>& r, std::size_t i, const char* w)
{
    return i < r.size() && r[i].kind == RequestItem::Kind::Word && r[i].text == w;
}

std::string describe(const RequestItem& item)
{
    std::string text = item.text;
    if (text.size() > kMaxQuote) {
        text = text.substr(0, kMaxQuote) + "... (" + std::to_string(item.text.size()) + " characters)";
    }
    return item.kind == RequestItem::Kind::Word ? "'" + text + "'" : text;
}

WorldReply handleSet(const std::vector<RequestItem>& r, Simulation& sim)
{
    if (r.size() < 3) {
        return failure("world set: missing object (expected: world set ball X Y Z)");
    }
    if (!isWord(r, 2, "ball")) {
        return failure("world set: unknown object " + describe(r[2]) + " (only the ball can be set)");
    }
    if (r.size() != 6) {
        return failure("world set ball: needs exactly three numbers X Y Z, got " + std::to_string(r.size() - 3)
                       + " items");
    }
    double xyz[3];
    for (std::size_t i = 0; i < 3; ++i) {
        const RequestItem& item = r[3 + i];
        if (item.kind != RequestItem::Kind::Number) {
            return failure("world set ball: " + std::string(1, "XYZ"[i]) + " is not a number: " + describe(item));
        }
        xyz[i] = item.number;
    }
    // The world ends 50 m from the origin, in every direction (the model itself only bounds
    // each coordinate).
    if (std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2])
        && std::hypot(xyz[0], xyz[1], xyz[2]) > WorldModel::kWorldExtent) {
        return failure("world set ball: position more than 50 m from the origin");
    }
    const std::string refused = sim.world().setBall({xyz[0], xyz[1], xyz[2]});
    if (!refused.empty()) {
        return failure("world set ball: " + refused);
    }
    return WorldReply{true, {}, {}};
}

WorldReply handleGet(const std::vector<RequestItem>& r, Simulation& sim)
{
    if (r.size() < 3) {
        return failure("world get: missing object (expected: ball, lhand or rhand)");
    }
    if (r.size() > 3) {
        return failure("world get: takes one object and nothing after it");
    }
    if (isWord(r, 2, "ball")) {
        return coordinates(sim.world().ball());
    }
    if (isWord(r, 2, "lhand")) {
        return coordinates(sim.hand(Side::Left));
    }
    if (isWord(r, 2, "rhand")) {
        return coordinates(sim.hand(Side::Right));
    }
    return failure("world get: unknown object " + describe(r[2]) + " (expected: ball, lhand or rhand)");
}

} // namespace

WorldReply handleWorldRequest(const std::vector<RequestItem>& r, Simulation& sim)
{
    if (r.empty()) {
        return failure("empty request (expected: world set ball X Y Z, world get ball, world get lhand)");
    }
    if (!isWord(r, 0, "world")) {
        return failure("unknown request " + describe(r[0]) + " (requests start with 'world')");
    }
    if (isWord(r, 1, "set")) {
        return handleSet(r, sim);
    }
    if (isWord(r, 1, "get")) {
        return handleGet(r, sim);
    }
    if (r.size() < 2) {
        return failure("world: missing verb (expected: set or get)");
    }
    return failure("world: unknown verb " + describe(r[1]) + " (expected: set or get)");
}

} // namespace sim
