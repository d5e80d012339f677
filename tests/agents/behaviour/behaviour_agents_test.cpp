// One activation at a time: each agent is set up with init() and activated directly on the
// test thread against a Space of its own, so what it reads, prints and writes can be checked
// exactly. The agents' threads are never started here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "agents/behaviour/ball_pos_agent.h"
#include "agents/behaviour/gaze_agents.h"
#include "behaviour_test_support.h"

namespace {

using behaviour_test::make_image;
using behaviour_test::make_kept;
using yarp::sig::PixelRgb;
using yarp::sig::Vector;

const Vector kNone{};
const PixelRgb kGrey{90, 90, 90};

template <class F>
std::string printed_by(F activation) {
    testing::internal::CaptureStdout();
    activation();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

/// An agent of type A bound to `space`, set up as its thread would set it up.
template <class A>
A& ready_agent(Space& space, const std::string& key) {
    A& agent = make_kept<A>(key, space);
    agent.init(key);
    return agent;
}

Vector head_velocity(Space& space) { return space.read("head_vel", kNone); }

// ---------------------------------------------------------------------------------------------
// Ball finder

TEST(BallPosAgentTest, WithoutAnImageItPrintsAndStillWritesFiveZeros) {
    Space& space = make_kept<Space>();
    auto& agent = ready_agent<BallPosAgent>(space, "bPConfig");
    EXPECT_EQ(printed_by([&] { agent.sense_select_act(0); }), "No Image \n");
    EXPECT_EQ(space.read("ball_pos", kNone), Vector(5, 0.0));
}

TEST(BallPosAgentTest, WritesOneBallVectorPerImageUnderTheConfiguredKeys) {
    Space& space = make_kept<Space>();
    AgentBlock config = BallPosAgent::defaults();
    config.input_key = "cam";
    config.output_key = "ballPos";
    space.write("bPConfig", config, 0, 1.0f);
    auto& agent = ready_agent<BallPosAgent>(space, "bPConfig");

    space.write("cam", make_image(16, 16, kGrey, {{10, 5}, {11, 5}}), 0, 1.0f);
    EXPECT_EQ(printed_by([&] { agent.sense_select_act(0); }),
              "Best guess at blue target: 10.5 5\n");
    EXPECT_EQ(space.read("ballPos", kNone), (Vector{10.5, 5, 16, 16, 1}));

    // Not found: the vector is written all the same, without a line.
    space.write("cam", make_image(320, 240, kGrey, {}), 0, 1.0f);
    EXPECT_EQ(printed_by([&] { agent.sense_select_act(0); }), "");
    EXPECT_EQ(space.read("ballPos", kNone), (Vector{0, 0, 320, 240, 0}));
    EXPECT_EQ(space.read("ball_pos", kNone), kNone);
}

// ---------------------------------------------------------------------------------------------
// Tracking

TEST(LookAtAgentTest, CentredBallStopsTheNeckAtTrackingPriorityKeepingOtherJoints) {
    Space& space = make_kept<Space>();
    space.write("head_vel", Vector{1, 2, 3, 4, 5, 6}, 0, 1.0f);
    auto& agent = ready_agent<LookAtAgent>(space, "lookConfig");
    space.write("ball_pos", Vector{160, 120, 320, 240, 1}, 0, 1.0f);
    agent.sense_select_act(0);
    EXPECT_EQ(head_velocity(space), (Vector{0, 2, 0, 4, 5, 6}));

    space.write("head_vel", Vector(6, 9.0), 300, 99.0f);  // lower priority, within 300 ms
    EXPECT_EQ(head_velocity(space), (Vector{0, 2, 0, 4, 5, 6}));
}

TEST(LookAtAgentTest, TurnsTheNeckAgainstTheBallsOffsetAndPrintsTheBallVector) {
    Space& space = make_kept<Space>();
    auto& agent = ready_agent<LookAtAgent>(space, "lookConfig");
    space.write("ball_pos", Vector{200, 100, 320, 240, 1}, 0, 1.0f);
    EXPECT_EQ(printed_by([&] { agent.sense_select_act(0); }), "target:  200 100 320 240 1\n");
    const Vector command = head_velocity(space);
    ASSERT_EQ(command.size(), 6u);
    EXPECT_DOUBLE_EQ(command[0], 8.0);    // pitch: -0.4 * (100 - 120)
    EXPECT_DOUBLE_EQ(command[2], -16.0);  // yaw: -0.4 * (200 - 160)
}

TEST(LookAtAgentTest, FoundFlagOfExactlyOneHalfIsNotFound) {
    Space& space = make_kept<Space>();
    auto& agent = ready_agent<LookAtAgent>(space, "lookConfig");
    space.write("ball_pos", Vector{200, 100, 320, 240, 0.5}, 0, 1.0f);
    EXPECT_EQ(printed_by([&] { agent.sense_select_act(0); }), "target:  200 100 320 240 0.5\n");
    EXPECT_EQ(head_velocity(space), kNone);
}

TEST(FocusAndVersionSearch, EyeVersionFivePlusFiveAndZero) {
    struct Case {
        double version, focus_command, search_command;
    };
    for (const Case& c : {Case{5, -2, -70}, Case{-5, 2, 70}, Case{0, 0, 70}}) {
        SCOPED_TRACE(c.version);
        const Vector encoders{0, 0, 0, 2.5, c.version, 0};

        Space& tracking = make_kept<Space>();
        tracking.write("head_enc", encoders, 0, 1.0f);
        tracking.write("ball_pos", Vector{160, 120, 320, 240, 1}, 0, 1.0f);
        auto& focus = ready_agent<FocusAgent>(tracking, "lookConfig");
        const std::string focus_lines = printed_by([&] { focus.sense_select_act(0); });
        EXPECT_EQ(focus_lines,
                  "Focus encoder4: " + std::to_string(c.version) + " \nFocus target: 1.000000 \n");
        const Vector focused = head_velocity(tracking);
        ASSERT_EQ(focused.size(), 6u);
        EXPECT_DOUBLE_EQ(focused[4], c.focus_command);
        EXPECT_DOUBLE_EQ(focused[3], -1.0);

        Space& searching = make_kept<Space>();
        searching.write("head_enc", encoders, 0, 1.0f);
        searching.write("head_vel", Vector{1, 2, 3, 4, 5, 6}, 0, 0.0f);
        auto& search = ready_agent<EyeVersionAgent>(searching, "search");
        EXPECT_EQ(printed_by([&] { search.sense_select_act(0); }),
                  "encoder4: " + std::to_string(c.version) + " \n");
        EXPECT_EQ(head_velocity(searching), (Vector{0, 0, 0, 0, c.search_command, 0}));
    }
}

TEST(FocusAgentTest, BallNotFoundPrintsBothLinesAndWritesNothing) {
    Space& space = make_kept<Space>();
    space.write("head_enc", Vector{0, 0, 0, 0, 5, 0}, 0, 1.0f);
    auto& focus = ready_agent<FocusAgent>(space, "lookConfig");
    EXPECT_EQ(printed_by([&] { focus.sense_select_act(0); }),
              "Focus encoder4: 5.000000 \nFocus target: 0.000000 \n");
    EXPECT_EQ(head_velocity(space), kNone);
}

TEST(EyeTiltAgentTest, ReadsTheHeadVelocityByDefaultAndSwingsAgainstIt) {
    for (double tilt : {5.0, -5.0, 0.0}) {
        SCOPED_TRACE(tilt);
        Space& space = make_kept<Space>();
        // The encoder vector says the opposite: the default input is "head_vel".
        space.write("head_enc", Vector{0, 0, 0, -tilt, 0, 0}, 0, 1.0f);
        space.write("head_vel", Vector{0, 0, 0, tilt, 0, 0}, 0, 0.0f);
        auto& search = ready_agent<EyeTiltAgent>(space, "search2");
        EXPECT_EQ(printed_by([&] { search.sense_select_act(0); }), "");
        EXPECT_EQ(head_velocity(space), (Vector{0, 0, 0, tilt > 0 ? -70.0 : 70.0, 0, 0}));
    }
}

TEST(RestPosAgentTest, PullsPitchAndYawTowardZeroKeepingTheOtherJoints) {
    Space& space = make_kept<Space>();
    space.write("head_enc", Vector{10, 0, -20, 7, 7, 7}, 0, 1.0f);
    space.write("head_vel", Vector{1, 2, 3, 4, 5, 6}, 0, 0.0f);
    auto& rest = ready_agent<RestPosAgent>(space, "restConfig");
    EXPECT_EQ(printed_by([&] { rest.sense_select_act(0); }), "");
    const Vector command = head_velocity(space);
    ASSERT_EQ(command.size(), 6u);
    EXPECT_DOUBLE_EQ(command[0], -3.0);
    EXPECT_DOUBLE_EQ(command[2], 6.0);
    EXPECT_EQ(command[1], 2.0);
    EXPECT_EQ(command[3], 4.0);
    EXPECT_EQ(command[4], 5.0);
    EXPECT_EQ(command[5], 6.0);
}

// ---------------------------------------------------------------------------------------------
// Vectors shorter than the elements an agent indexes

TEST(ShortVectors, ShortBallVectorCountsAsMissingAndIsReportedOnce) {
    Space& space = make_kept<Space>();
    auto& agent = ready_agent<LookAtAgent>(space, "lookConfig");
    space.write("ball_pos", Vector{200, 100, 320, 240}, 0, 1.0f);  // no found flag
    EXPECT_EQ(printed_by([&] { agent.sense_select_act(0); }),
              "LookAtAgent: \"ball_pos\" holds 4 values, 5 needed; read as missing\n"
              "target:  0 0 0 0 0\n");
    EXPECT_EQ(printed_by([&] { agent.sense_select_act(0); }), "target:  0 0 0 0 0\n");
    EXPECT_EQ(head_velocity(space), kNone);

    // A full vector re-arms the report.
    space.write("ball_pos", Vector{160, 120, 320, 240, 1}, 0, 1.0f);
    agent.sense_select_act(0);
    space.write("ball_pos", Vector{1}, 0, 1.0f);
    EXPECT_NE(printed_by([&] { agent.sense_select_act(0); }).find("holds 1 values"),
              std::string::npos);
}

TEST(ShortVectors, ShortEncoderVectorReadsAsZeros) {
    const Vector short_encoders{0, 0, 0, 5, 5};  // eye version present, vergence missing

    Space& searching = make_kept<Space>();
    searching.write("head_enc", short_encoders, 0, 1.0f);
    auto& version = ready_agent<EyeVersionAgent>(searching, "search");
    const std::string lines = printed_by([&] { version.sense_select_act(0); });
    EXPECT_NE(lines.find("EyeVersionAgent: \"head_enc\" holds 5 values, 6 needed"),
              std::string::npos);
    EXPECT_NE(lines.find("encoder4: 0.000000 \n"), std::string::npos);
    EXPECT_EQ(head_velocity(searching), (Vector{0, 0, 0, 0, 70, 0}));

    Space& tracking = make_kept<Space>();
    tracking.write("head_enc", short_encoders, 0, 1.0f);
    tracking.write("ball_pos", Vector{160, 120, 320, 240, 1}, 0, 1.0f);
    auto& focus = ready_agent<FocusAgent>(tracking, "lookConfig");
    (void)printed_by([&] { focus.sense_select_act(0); });
    EXPECT_EQ(head_velocity(tracking), Vector(6, 0.0));
}

TEST(ShortVectors, ShortHeadVelocityIsReplacedByAFullZeroCommand) {
    Space& space = make_kept<Space>();
    space.write("head_vel", Vector{1, 2, 3}, 0, 0.0f);
    space.write("head_enc", Vector{0, 0, 0, 2.5, 5, 0}, 0, 1.0f);
    space.write("ball_pos", Vector{160, 120, 320, 240, 1}, 0, 1.0f);
    auto& focus = ready_agent<FocusAgent>(space, "lookConfig");
    const std::string lines = printed_by([&] { focus.sense_select_act(0); });
    EXPECT_NE(lines.find("FocusAgent: \"head_vel\" holds 3 values, 6 needed"), std::string::npos);
    EXPECT_EQ(head_velocity(space), (Vector{0, 0, 0, -1, -2, 0}));
}

}  // namespace
