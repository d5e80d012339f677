// Rays against the body's parts: where they enter capsules and boxes, and the ray bound the
// renderer culls with, which must let through every ray that meets a part.
#include "sim/model/joint_board.h"
#include "sim/model/robot_body.h"
#include "sim/model/robot_model.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace sim;

namespace {

double boundValue(const RayBound& b, const Vec3& d)
{
    const double dw = d.dot(b.w), bad = b.ba.dot(d);
    return dw * dw - b.k * (b.baba * d.dot(d) - bad * bad);
}

} // namespace

TEST(BodyRays, EnterCapsulesAndBoxesWhereTheGeometrySays)
{
    Vec3 normal;
    // A capsule along x from -0.1 to 0.1, radius 0.02, seen from 1 m in front (-z).
    const BodyPart capsule = BodyPart::capsule({-0.1, 0, 0}, {0.1, 0, 0}, 0.02, body_colour::kWhite);
    EXPECT_NEAR(capsule.intersect({0.05, 0, -1}, {0, 0, 2}, &normal), (1 - 0.02) / 2, 1e-12); // the side
    EXPECT_NEAR(normal.z, -1.0, 1e-12);
    EXPECT_NEAR(capsule.intersect({1, 0, 0}, {-1, 0, 0}, &normal), 1 - 0.12, 1e-12); // the end cap
    EXPECT_NEAR(normal.x, 1.0, 1e-12);
    EXPECT_LT(capsule.intersect({0, 0.03, -1}, {0, 0, 1}, &normal), 0.0); // passes above
    EXPECT_LT(capsule.intersect({0, 0, 0}, {0, 0, 1}, &normal), 0.0);     // starts inside
    // A box turned 90 degrees about y: its 0.1 half-length now lies along z.
    const BodyPart box = BodyPart::box({0, 0, 0}, rotY(kPi / 2), {0.1, 0.02, 0.03}, body_colour::kNavy);
    EXPECT_NEAR(box.intersect({0, 0, -1}, {0, 0, 1}, &normal), 1 - 0.1, 1e-12);
    EXPECT_NEAR(normal.z, -1.0, 1e-12);
    EXPECT_NEAR(box.intersect({-1, 0, 0}, {1, 0, 0}, &normal), 1 - 0.03, 1e-12);
    EXPECT_LT(box.intersect({0, 0.021, -1}, {0, 0, 1}, &normal), 0.0);
}

TEST(BodyRays, TheBoundPassesEveryRayThatMeetsAPartOfTheMovingBody)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    long hits = 0;
    for (int pose = 0; pose < 20; ++pose) {
        std::vector<double> head{u(rng) * 30, 0, u(rng) * 40, u(rng) * 30, u(rng) * 30, 0};
        std::vector<double> arm = armStartPose();
        for (int j = 0; j < 5; ++j) {
            arm[j] += u(rng) * 30;
        }
        const Vec3 eye = leftEyePose(head.data()).position;
        for (const BodyPart& part : robotBody(head.data(), arm.data(), arm.data())) {
            const PartFromEye fromEye(part, eye);
            const RayBound bound = fromEye.bound();
            for (int ray = 0; ray < 200; ++ray) {
                // Rays toward points around the part, so that many of them hit.
                const Vec3 aim = part.a + (part.b - part.a) * (0.5 + 0.6 * u(rng))
                                 + Vec3{u(rng), u(rng), u(rng)} * (1.3 * part.boundRadius());
                const Vec3 d = aim - eye;
                Vec3 n1, n2;
                const double t = fromEye.intersect(d, &n1);
                ASSERT_EQ(t, part.intersect(eye, d, &n2));
                if (t > 0.0) {
                    ++hits;
                    EXPECT_GE(boundValue(bound, d), -1e-9 * d.dot(d) * d.dot(d)) << "pose " << pose;
                }
            }
        }
    }
    EXPECT_GT(hits, 10000); // the rays did meet the parts
}
