// The full controller against robot_sim, both as processes, watched from outside through the
// camera stream, the world port and the head's encoders: it centres the ball wherever it is
// put in view, finds a ball outside the view, and hands the head from the tracking agents to
// the search and rest agents when the ball disappears.
#include <cmath>

#include "e2e_support.h"

namespace {

using namespace e2e;

/// Eye tilt and version this close to zero count as "back near zero".
constexpr double kEyesNearZero = 3.0;
/// A search command turns an eye at 70 degrees per second; nothing else comes close.
constexpr double kSearchSpeed = 35.0;

std::string describe(const probe::HeadJoints& j)
{
    char text[160];
    std::snprintf(text, sizeof text, "pitch %.1f yaw %.1f tilt %.1f version %.1f", j[0], j[2], j[3], j[4]);
    return text;
}

TEST(Gaze, CentresTheBallWhereverItIsPutInView)
{
    // Without gravity the ball stays where it is put, so it can be held up in front of the
    // head, in view from the start.
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start({"--no-gravity", "--ball", "0", "0.95", "0.6"}));
    tour::Tour tour = rig.makeTour();

    const std::vector<probe::Position> places = {
        {0.0, 0.95, 0.6}, {0.12, 1.0, 0.7}, {-0.12, 0.9, 0.65}, {0.03, 0.83, 0.8}, {-0.05, 1.05, 0.55}};
    for (const probe::Position& place : places) {
        SCOPED_TRACE(testing::Message() << "ball at " << place.x << " " << place.y << " " << place.z);
        const tour::StopResult r = tour.run({"in view", place, tour::Expect::Centred});
        ASSERT_TRUE(r.placed) << r.note;
        // Each place is in view of the head as the previous one left it: seen at once.
        EXPECT_TRUE(r.found && r.foundAfter < 2.0) << "found after " << r.foundAfter << " s";
        EXPECT_TRUE(r.centred) << r.note;
        EXPECT_LE(r.errorPx, 10.0);
        EXPECT_LE(std::fabs(r.head[3]), kEyesNearZero) << describe(r.head);
        EXPECT_LE(std::fabs(r.head[4]), kEyesNearZero) << describe(r.head);
    }
}

TEST(Gaze, SearchFindsABallOutsideTheViewThenTracksIt)
{
    // On the table: with the head at rest the view is level and the table top is below it.
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start({"--ball", "0.1", "0.554", "0.6"}));
    const auto startedAt = Clock::now();
    probe::CameraFrame frame;
    ASSERT_TRUE(rig.camera.waitForFrame(0, 10s, &frame));
    ASSERT_FALSE(frame.blob.found) << "the ball must start out of view";

    // The search agents swing the eyes while the ball is not seen.
    bool eyesSearched = false;
    ASSERT_TRUE(eventually(
        [&] {
            const probe::HeadJoints j = rig.joints();
            eyesSearched = eyesSearched
                           || ((std::fabs(j[3]) > 10 || std::fabs(j[4]) > 10) && !rig.camera.latest().blob.found);
            return eyesSearched;
        },
        30s))
        << "the eyes never moved away from zero: " << describe(rig.joints());

    tour::Tour tour = rig.makeTour(90);
    const tour::StopResult r = tour.follow(tour::Expect::Centred, startedAt);
    EXPECT_TRUE(r.found) << r.note;
    EXPECT_TRUE(r.centred) << r.note;
    EXPECT_LE(std::fabs(r.head[3]), kEyesNearZero) << describe(r.head);
    EXPECT_LE(std::fabs(r.head[4]), kEyesNearZero) << describe(r.head);
}

// Which agents' commands are in force under "head_vel" shows on the board: a search command
// turns one eye at 70 degrees per second and stops the neck, a tracking command turns the
// eyes toward zero at 0.4 times their angle and the neck toward the ball, a rest command
// turns the neck toward zero at 0.3 times its angle. So, from outside: while the eyes stay
// near zero and the ball near the centre, no search or rest command reached the board; once
// an eye turns at search speed, a search command did.
TEST(Gaze, TrackingCommandsPrevailWhileTheBallIsSeenSearchAndRestTakeOverWhenItIsGone)
{
    // Held up to the robot's left: the neck has to turn well away from zero to centre it,
    // which leaves the rest agent something to pull back.
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.start({"--no-gravity", "--ball", "0.2", "0.95", "0.55"}));
    tour::Tour tour = rig.makeTour();
    const tour::StopResult tracked = tour.run({"left", {0.2, 0.95, 0.55}, tour::Expect::Centred});
    ASSERT_TRUE(tracked.centred) << tracked.note;
    ASSERT_GT(tracked.head[2], 10.0) << "the neck turned toward the ball: " << describe(tracked.head);

    // Twelve seconds span ten search commands and at least one rest command, all written
    // while the tracking agents hold the head: none may reach the board.
    const auto watchUntil = Clock::now() + 12s;
    std::uint64_t sequence = rig.camera.latest().sequence;
    int frames = 0;
    while (Clock::now() < watchUntil) {
        probe::CameraFrame frame;
        if (!rig.camera.waitForFrame(sequence, 2s, &frame)) {
            continue;
        }
        sequence = frame.sequence;
        const probe::HeadJoints j = rig.joints();
        ASSERT_TRUE(frame.blob.found) << "lost the ball while tracking";
        ASSERT_LE(frame.blob.error(), 10.0) << describe(j);
        ASSERT_LE(std::fabs(j[3]), kEyesNearZero) << "a search command moved the eyes: " << describe(j);
        ASSERT_LE(std::fabs(j[4]), kEyesNearZero) << "a search command moved the eyes: " << describe(j);
        ++frames;
    }
    EXPECT_GT(frames, 50);

    // Out of reach: on the floor behind the robot.
    const double yawWhenHidden = rig.joints()[2];
    std::string error;
    const auto hiddenAt = Clock::now();
    ASSERT_TRUE(rig.world.setBall(tour::hiddenPosition(), &error)) << error;
    double takeover = -1.0;
    ASSERT_TRUE(eventually(
        [&] {
            probe::HeadJoints speed{};
            if (rig.head.speeds(&speed) && (std::fabs(speed[3]) > kSearchSpeed || std::fabs(speed[4]) > kSearchSpeed)) {
                takeover = std::chrono::duration<double>(Clock::now() - hiddenAt).count();
                return true;
            }
            return false;
        },
        20s, 5ms))
        << "no search command reached the board: " << describe(rig.joints());
    // The last tracking command lapses 300 ms after the last frame that showed the ball; the
    // eye version search writes every 1.2 s, the eye tilt search every 2 s. Refused search
    // writes prolong the command in force by their own validity, which can delay the
    // takeover past two seconds by up to one search period; the figure is measured by
    // bench/run.sh, the bound here only has to catch a takeover that never comes in time.
    EXPECT_LT(takeover, 5.0);
    std::printf("search took over %.3f s after the ball was hidden\n", takeover);

    // The rest agent, every 10.5 s, commands the neck back toward zero; the search commands
    // hold the neck still. Its write is refused while an eye tilt search command (priority
    // 10) is in force and overwritten by the next search command, so it may be in force for
    // a fraction of a second only: look for the neck turning back in the board's speeds.
    // The agents' timers repeat their pattern every 42 s.
    EXPECT_TRUE(eventually(
        [&] {
            probe::HeadJoints speed{};
            return rig.head.speeds(&speed) && speed[2] < -1.0;
        },
        60s, 5ms))
        << "the neck was never turned back toward rest: " << describe(rig.joints()) << ", yaw was " << yawWhenHidden;
    // No check that the camera now finds nothing: the search can turn the eyes onto the
    // robot's own navy arm covers, which pass the blue test as on the real simulator.
}

}  // namespace
