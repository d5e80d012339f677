// The world request interface and the ball's resting and falling.
#include "sim/simulation/world_requests.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace sim;

namespace {

using Items = std::vector<RequestItem>;
RequestItem w(const char* word) { return RequestItem::word(word); }
RequestItem n(double v) { return RequestItem::num(v); }

void settle(Simulation& s, double seconds = 2.0)
{
    for (int i = 0; i < static_cast<int>(seconds / 0.01); ++i) {
        s.step(0.01);
    }
}

void expectAt(const Vec3& p, double x, double y, double z)
{
    EXPECT_NEAR(p.x, x, 1e-9);
    EXPECT_NEAR(p.y, y, 1e-9);
    EXPECT_NEAR(p.z, z, 1e-9);
}

} // namespace

TEST(WorldRequests, SetAndGetBallRoundTrip)
{
    Simulation s({});
    WorldReply r = handleWorldRequest({w("world"), w("get"), w("ball")}, s);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.values.size(), 3u);
    EXPECT_NEAR(r.values[0], -0.15, 1e-9);
    EXPECT_NEAR(r.values[1], 0.554, 1e-9);
    EXPECT_NEAR(r.values[2], 0.35, 1e-9);

    r = handleWorldRequest({w("world"), w("set"), w("ball"), n(0.1), n(0.554), n(0.5)}, s);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.values.empty());
    r = handleWorldRequest({w("world"), w("get"), w("ball")}, s);
    ASSERT_EQ(r.values.size(), 3u);
    EXPECT_NEAR(r.values[0], 0.1, 1e-12);
    EXPECT_NEAR(r.values[1], 0.554, 1e-12);
    EXPECT_NEAR(r.values[2], 0.5, 1e-12);
}

TEST(WorldRequests, HandsAnswerFromTheArmJoints)
{
    Simulation s({});
    WorldReply r = handleWorldRequest({w("world"), w("get"), w("lhand")}, s);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.values.size(), 3u);
    EXPECT_NEAR(r.values[0], 0.338, 0.005);
    EXPECT_NEAR(r.values[1], 0.744, 0.005);
    EXPECT_NEAR(r.values[2], 0.185, 0.005);

    s.leftArm().setRefSpeed(3, 100.0);
    s.leftArm().positionMove(3, 100.0); // bend the elbow
    settle(s);
    const WorldReply moved = handleWorldRequest({w("world"), w("get"), w("lhand")}, s);
    EXPECT_GT(std::abs(moved.values[0] - r.values[0]) + std::abs(moved.values[1] - r.values[1])
                  + std::abs(moved.values[2] - r.values[2]),
              0.05);

    const WorldReply right = handleWorldRequest({w("world"), w("get"), w("rhand")}, s);
    ASSERT_TRUE(right.ok);
    EXPECT_NEAR(right.values[0], -r.values[0], 1e-9) << "the right arm has not moved";
}

TEST(WorldRequests, EveryMalformedRequestIsRefusedWithAReasonAndMovesNothing)
{
    Simulation s({});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Items> bad = {
        {},
        {w("hello")},
        {n(1.0), w("set"), w("ball"), n(0), n(0), n(0)},
        {w("world")},
        {w("world"), w("move"), w("ball"), n(0), n(0), n(0)},
        {w("world"), w("set")},
        {w("world"), w("set"), w("box"), n(0), n(0), n(0)},
        {w("world"), w("set"), w("ball")},
        {w("world"), w("set"), w("ball"), n(0), n(0.6)},
        {w("world"), w("set"), w("ball"), n(0), n(0.6), n(0.4), n(1)},
        {w("world"), w("set"), w("ball"), n(0), w("high"), n(0.4)},
        {w("world"), w("set"), w("ball"), n(0), n(nan), n(0.4)},
        {w("world"), w("set"), w("ball"), n(1e9), n(0.6), n(0.4)},
        {w("world"), w("set"), w("ball"), n(30), n(30), n(29.9)}, // each within 50 m, 51.9 m from the origin
        {w("world"), w("set"), w("ball"), RequestItem{RequestItem::Kind::Other, "(1 2)", 0}, n(0.6), n(0.4)},
        {w("world"), w("get")},
        {w("world"), w("get"), w("moon")},
        {w("world"), w("get"), w("ball"), w("now")},
        {w("WORLD"), w("get"), w("ball")},
    };
    for (const Items& request : bad) {
        const WorldReply r = handleWorldRequest(request, s);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
        EXPECT_TRUE(r.values.empty());
        expectAt(s.world().ball(), -0.15, 0.554, 0.35);
    }
    EXPECT_NE(handleWorldRequest({w("world"), w("get"), w("moon")}, s).error.find("moon"), std::string::npos)
        << "the reason names what was wrong";
    EXPECT_NE(handleWorldRequest({w("world"), w("set"), w("ball"), n(0), w("high"), n(0.4)}, s).error.find("high"),
              std::string::npos);
    // A huge item is quoted in part, not echoed back whole.
    const std::string huge(5'000'000, 'x');
    const WorldReply cut = handleWorldRequest({w("world"), w("get"), RequestItem::word(huge)}, s);
    EXPECT_FALSE(cut.ok);
    EXPECT_LT(cut.error.size(), 300u);
    EXPECT_NE(cut.error.find("xxx"), std::string::npos);
}

// Where the real simulator's ball came to rest 2.5 s after `world set ball`: on the top when
// its centre is over it (even 5 mm inside an edge), on the floor when it is beyond an edge
// (rolled away from the table) or set below the top's face (fell through).
TEST(WorldModel, TheBallComesToRestWhereTheRealOneDoes)
{
    struct Case {
        Vec3 set;
        Vec3 rest;
        double tolerance; // rolling is the real physics' own; the stand-in ends near it
        const char* what;
    };
    const Case cases[] = {
        {{-0.15, 0.553, 0.35}, {-0.15, 0.554, 0.35}, 1e-9, "just into the top"},
        {{0.34, 0.554, 0.64}, {0.34, 0.554, 0.64}, 1e-9, "1 cm inside the corner"},
        {{-0.345, 0.554, 0.255}, {-0.345, 0.554, 0.255}, 1e-9, "5 mm inside the front right corner"},
        {{0.10, 0.90, 0.50}, {0.10, 0.554, 0.50}, 1e-9, "dropped from above the top"},
        {{-0.20, 0.50, 0.50}, {-0.20, 0.039, 0.50}, 1e-9, "set below the top's face"},
        {{0.0, 1.0, 1.5}, {0.0, 0.039, 1.5}, 1e-9, "dropped beyond the table"},
        {{0.0, 0.0, 0.5}, {0.0, 0.039, 0.5}, 1e-9, "into the floor"},
        {{0.15, 0.554, 0.68}, {0.15, 0.039, 1.22}, 0.1, "across the back edge"},
        {{0.36, 0.554, 0.45}, {0.99, 0.039, 0.45}, 0.1, "across the left edge"},
    };
    for (const Case& c : cases) {
        Simulation s({});
        ASSERT_TRUE(s.world().setBall(c.set).empty());
        settle(s, 5.0);
        const Vec3 at = s.world().ball();
        EXPECT_TRUE(s.world().ballResting()) << c.what;
        EXPECT_NEAR(at.x, c.rest.x, c.tolerance) << c.what;
        EXPECT_NEAR(at.y, c.rest.y, 1e-9) << c.what;
        EXPECT_NEAR(at.z, c.rest.z, c.tolerance) << c.what;
    }

    Simulation s({});
    s.world().setBall({0.1, 1.2, 0.5});
    EXPECT_FALSE(s.world().ballResting()) << "a ball in mid-air falls";
    s.step(0.1);
    EXPECT_LT(s.world().ball().y, 1.2);
}

TEST(WorldModel, WithoutGravityTheBallStaysWhereItIsPut)
{
    Simulation s(Simulation::Config{false});
    ASSERT_TRUE(s.world().setBall({0.0, 0.95, 0.6}).empty());
    settle(s);
    expectAt(s.world().ball(), 0.0, 0.95, 0.6);
}
