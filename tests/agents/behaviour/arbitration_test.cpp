// The behaviour agents on their own threads, meeting only through the Space: a synthetic
// camera stream feeds the ball finder, the gaze agents compete for the head velocity vector,
// and a recorder keeps every vector that comes into force.
//
// Race windows targeted: the look-at and focus agents are woken by the same ball vector and
// change different elements of one vector at the same time; the search and rest agents
// write that vector from timer ticks at any moment, including between the two tracking
// writes. A lost element or a low-priority command slipping in shows in the recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "agents/behaviour/ball_pos_agent.h"
#include "agents/behaviour/gaze_agents.h"
#include "behaviour_test_support.h"

namespace {

using behaviour_test::make_image;
using behaviour_test::make_kept;
using behaviour_test::now_s;
using behaviour_test::Recorder;
using behaviour_test::rectangle;
using std::chrono::milliseconds;
using yarp::sig::Vector;

constexpr std::size_t kWidth = 64;
constexpr std::size_t kHeight = 48;
constexpr std::size_t kBlobTop = 10;                            // rows 10..13
constexpr std::size_t kCyclingColumns[] = {8, 16, 24, 32, 40};  // left edge of a 4x4 blob
constexpr std::size_t kFinalColumn = 48;                        // used by no other frame
const milliseconds kPatience{10000};

/// The ball vector the finder makes of a 4 x 4 blob whose left edge is at `column`.
Vector ball_at(std::size_t column) {
    return Vector{static_cast<double>(column) + 1.5, static_cast<double>(kBlobTop) + 1.5,
                  static_cast<double>(kWidth), static_cast<double>(kHeight), 1.0};
}

/// What the look-at law makes of the blob at `column`, starting from zeros.
Vector look_at_command(std::size_t column) {
    Vector command(6, 0.0);
    gaze::look_at(ball_at(column), command);
    return command;
}

/// Publishes a 64 x 48 image under `key` every 30 ms from a thread of its own: a blue blob
/// cycling over five positions, a blob at a position of its own (the last ball seen), or no
/// blob at all.
class SyntheticCamera {
public:
    enum class Scene { kCycling, kFinal, kEmpty };

    SyntheticCamera(Space& space, Scene first, std::string key = "leftImage")
        : space(space), key(std::move(key)), scene(first) {
        thread = std::thread([this] { loop(); });
    }
    ~SyntheticCamera() { stop(); }

    void show(Scene next) {
        std::lock_guard<std::mutex> lock(mutex);
        scene = next;
    }

    /// When the first frame of the final scene was published (before its write), or -1.
    double first_final_frame_s() {
        std::lock_guard<std::mutex> lock(mutex);
        return first_final_s;
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) return;
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }

private:
    void loop() {
        const auto grey = yarp::sig::PixelRgb{90, 90, 90};
        std::unique_lock<std::mutex> lock(mutex);
        for (std::size_t frame = 0; !stopping; ++frame) {
            std::size_t column = 0;
            bool blob = true;
            switch (scene) {
                case Scene::kCycling: column = kCyclingColumns[frame % 5]; break;
                case Scene::kFinal: column = kFinalColumn; break;
                case Scene::kEmpty: blob = false; break;
            }
            if (scene == Scene::kFinal && first_final_s < 0) first_final_s = now_s();
            lock.unlock();
            auto pixels = blob ? rectangle(column, kBlobTop, 4, 4)
                               : std::vector<std::pair<std::size_t, std::size_t>>{};
            space.write(key, make_image(kWidth, kHeight, grey, pixels), 0, 1.0f);
            lock.lock();
            // Paces the stream; a stop request ends the wait at once.
            wake.wait_for(lock, milliseconds(30), [this] { return stopping; });
        }
    }

    Space& space;
    const std::string key;
    std::mutex mutex;
    std::condition_variable wake;
    Scene scene;
    double first_final_s = -1;
    bool stopping = false;
    std::thread thread;
};

/// An agent of type A bound to `space`, running on its thread until the process ends (as in
/// the programs, which never stop their agents).
template <class A>
A& started_agent(Space& space, const std::string& key) {
    A& agent = make_kept<A>(key, space);
    agent.start(nullptr);
    return agent;
}

AgentBlock behaviour_config(const char* name, const char* input, const char* output,
                            const char* aux, int delay_ms = 0, int period_ms = 0) {
    AgentBlock block;
    block.name = name;
    block.input_key = input;
    block.output_key = output;
    block.aux_key = aux;
    block.delay_ms = delay_ms;
    block.period_ms = period_ms;
    return block;
}

TEST(GazeArbitration, TrackingHoldsTheHeadWhileTheBallIsSeenAndSearchTakesOverOnceItLapses) {
    Space& space = make_kept<Space>();
    // The program's wiring with quicker timers for the rest and search agents, so that they
    // try to take over several times while the ball is seen. Each period stays longer than
    // the agent's own validity and together they leave gaps: a refused write restarts the
    // validity of the command in force, so agents that always wrote again before the last
    // validity ran out would keep a lost ball's tracking command in force for good.
    space.write("bPConfig", behaviour_config("Find ball", "leftImage", "ballPos", ""), 0, 1.0f);
    space.write("lookConfig", behaviour_config("Look At", "ballPos", "head_vel", "head_enc"), 0,
                1.0f);
    space.write("restConfig",
                behaviour_config("Look At", "ballPos", "head_vel", "head_enc", 100, 1000), 0, 1.0f);
    space.write("search", behaviour_config("search", "head_enc", "head_vel", "", 100, 3000), 0,
                1.0f);
    space.write("search2", behaviour_config("search2", "head_enc", "head_vel", "", 100, 400), 0,
                1.0f);
    const Vector encoders{10, 0, -20, 2.5, 5, 0};
    space.write("head_enc", encoders, 0, 1.0f);

    // What each kind of writer puts in force (the rest agent starting from a lapsed vector).
    const Vector version_search = gaze::version_search(encoders);
    const Vector tilt_search = gaze::tilt_search(encoders);
    Vector rest_command(6, 0.0);
    gaze::rest(encoders, rest_command);
    std::vector<double> tracked_yaws;
    for (std::size_t column : kCyclingColumns) tracked_yaws.push_back(look_at_command(column)[2]);
    const double final_yaw = look_at_command(kFinalColumn)[2];
    tracked_yaws.push_back(final_yaw);
    const double tracked_pitch = look_at_command(kFinalColumn)[0];
    Vector focused(6, 0.0);
    gaze::focus(encoders, focused);

    // A tracking command in full: both tracking agents' elements, nothing left of a search.
    auto is_tracking = [&](const Vector& v) {
        return v.size() == 6 && v[0] == tracked_pitch && v[1] == 0 && v[3] == focused[3] &&
               v[4] == focused[4] && v[5] == 0 &&
               std::find(tracked_yaws.begin(), tracked_yaws.end(), v[2]) != tracked_yaws.end();
    };
    auto is_searching = [&](const Vector& v) {
        return v == version_search || v == tilt_search || v == rest_command;
    };
    using Samples = std::vector<Recorder::Sample>;

    Recorder& recorder = make_kept<Recorder>(space, "head_vel");
    // The program's order of creation.
    started_agent<FocusAgent>(space, "lookConfig");
    started_agent<RestPosAgent>(space, "restConfig");
    started_agent<LookAtAgent>(space, "lookConfig");
    started_agent<EyeVersionAgent>(space, "search");
    started_agent<EyeTiltAgent>(space, "search2");
    started_agent<BallPosAgent>(space, "bPConfig");

    // No ball yet: the search and rest agents drive the head.
    SyntheticCamera camera(space, SyntheticCamera::Scene::kEmpty);
    ASSERT_TRUE(recorder.wait_for(
        [&](const Samples& s) { return !s.empty() && is_searching(s.back().value); }, kPatience))
        << "the search agents never wrote";

    // The ball comes into view: the first tracking writes replace the search command.
    camera.show(SyntheticCamera::Scene::kCycling);
    std::size_t settled = 0;
    ASSERT_TRUE(recorder.wait_for(
        [&](const Samples& s) {
            for (std::size_t i = s.size(); i-- > 0;) {
                if (is_tracking(s[i].value)) {
                    settled = i;
                    return true;
                }
            }
            return false;
        },
        kPatience))
        << "the tracking agents never took the head";

    // An observation window, not a synchronisation: for two seconds the rest and search
    // agents tick about eight times while every image renews the tracking command.
    std::this_thread::sleep_for(milliseconds(2000));

    // The last sighting at a position of its own, then the ball is gone.
    camera.show(SyntheticCamera::Scene::kFinal);
    ASSERT_TRUE(recorder.wait_for(
        [&](const Samples& s) {
            return !s.empty() && is_tracking(s.back().value) && s.back().value[2] == final_yaw;
        },
        kPatience));
    camera.show(SyntheticCamera::Scene::kEmpty);
    const double last_sighting_s = camera.first_final_frame_s();
    ASSERT_GT(last_sighting_s, 0);

    std::size_t replaced = 0;
    ASSERT_TRUE(recorder.wait_for(
        [&](const Samples& s) {
            // An empty sample (a read that came after the value lapsed) replaces nothing.
            for (std::size_t i = settled; i < s.size(); ++i) {
                if (s[i].value.size() != 0 && !is_tracking(s[i].value)) {
                    replaced = i;
                    return true;
                }
            }
            return false;
        },
        kPatience))
        << "no search or rest command took over after the ball was lost";
    camera.stop();
    recorder.stop();

    const Samples samples = recorder.samples();
    const Recorder::Sample& takeover = samples[replaced];
    EXPECT_TRUE(is_searching(takeover.value)) << takeover.value.toString();
    // Every tracking write, the last included, came after the last image with the ball was
    // published, and each keeps its command valid for 300 ms: nothing may replace it sooner.
    EXPECT_GE(takeover.time_s - last_sighting_s, 0.300)
        << "a lower-priority command replaced a tracking command that was still valid";
    EXPECT_GT(replaced - settled, 20u) << "too few vectors were observed while tracking";
}

TEST(DefaultKeys, BallFinderAndTrackingAgentsMeetWithoutConfiguration) {
    Space& space = make_kept<Space>();
    Recorder& recorder = make_kept<Recorder>(space, "head_vel");
    started_agent<BallPosAgent>(space, "noFinderConfig");
    started_agent<LookAtAgent>(space, "noLookConfig");
    SyntheticCamera camera(space, SyntheticCamera::Scene::kFinal);
    const Vector expected = look_at_command(kFinalColumn);
    EXPECT_TRUE(recorder.wait_for(
        [&](const std::vector<Recorder::Sample>& s) {
            return !s.empty() && s.back().value == expected;
        },
        kPatience));
    camera.stop();
    recorder.stop();
}

TEST(WriteAgentTest, AlternatesTheYawTargetBetweenZeroAndFortyOnceASecond) {
    Space& space = make_kept<Space>();
    Recorder& recorder = make_kept<Recorder>(space, "head_joints");
    started_agent<WriteAgent>(space, "writeConfig");
    ASSERT_TRUE(recorder.wait_for(
        [](const std::vector<Recorder::Sample>& s) { return s.size() >= 3; }, kPatience));
    recorder.stop();
    const auto samples = recorder.samples();
    EXPECT_EQ(samples[0].value, Vector(6, 0.0));
    EXPECT_EQ(samples[1].value, (Vector{0, 0, 40, 0, 0, 0}));
    EXPECT_EQ(samples[2].value, Vector(6, 0.0));
}

}  // namespace
