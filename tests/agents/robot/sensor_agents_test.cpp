// The sensor agents against in-process stand-ins of the simulator's ports: a camera stream,
// the world interface, the inertial and skin streams. Single activations run on the test
// thread (init() and sense_select_act() called directly) where the outcome of one activation
// matters; the timer path runs on the agents' own threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include "agents/robot/sensor_agents.h"
#include "robot_test_support.h"
#include "support/image_pattern.h"
#include "support/space_write_counter.h"

using namespace robot_test;

namespace {

/// A timer delay that outlasts any test run: the agents' timers never fire, so activations
/// happen only when the test calls sense_select_act().
constexpr int kNever = 1000 * 60 * 60 * 24;

SensorBlock sensor_config(const std::string& tag, int delay_ms, int period_ms,
                          const std::string& command = "")
{
    SensorBlock c;
    c.name = "HeadAgent";
    c.local_port = "/" + tag + "/in";
    c.remote_port = "/" + tag + "/out";
    c.data_key = tag + "_data";
    c.command = command;
    c.delay_ms = delay_ms;
    c.period_ms = period_ms;
    return c;
}

/// A sensor agent whose port the test can look at and interrupt.
template <class A>
class Probe : public Observed<A> {
public:
    using Observed<A>::Observed;
    auto* the_port() { return this->port.get(); }
};

/// A sensor agent set up on the test thread: its configuration written, init() run.
template <class A>
Probe<A>& set_up(const std::string& config_key, const SensorBlock& config)
{
    Space::getSpace()->write(config_key, config, 0, 1.0f);
    auto& agent = make_kept<Probe<A>>(config_key);
    agent.init(config_key);
    return agent;
}

/// The simulator's camera: an image stream under `name`, one frame at a time or as fast as
/// it can on a thread of its own.
class FakeCamera {
public:
    explicit FakeCamera(const std::string& name) { opened = port.open(name); }
    ~FakeCamera()
    {
        streaming = false;
        if (streamer.joinable()) {
            streamer.join();
        }
        port.close();
    }
    /// Sends frame `frame`, waiting until the connection has taken it.
    void send(std::uint32_t frame)
    {
        CameraImage& image = port.prepare();
        image.resize(320, 240);
        ac_test::paint_frame(image, frame);
        port.writeStrict();
        port.waitForWrite();
    }
    /// Sends frames 1, 2, 3, ... back to back until destroyed.
    void stream()
    {
        streaming = true;
        streamer = std::thread([this] {
            for (std::uint32_t frame = 1; streaming.load(); ++frame) {
                send(frame);
            }
        });
    }

    yarp::os::BufferedPort<CameraImage> port;
    bool opened = false;

private:
    std::atomic<bool> streaming{false};
    std::thread streamer;
};

/// The simulator's world interface: answers every request with `answer` on its own thread
/// and keeps the last request.
class FakeWorld {
public:
    explicit FakeWorld(const std::string& name)
    {
        opened = port.open(name);
        thread = std::thread([this] { serve(); });
    }
    ~FakeWorld() { stop(); }
    void stop()
    {
        port.close();
        if (thread.joinable()) {
            thread.join();
        }
    }
    void answer_with(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        answer = text;
    }
    std::string last_request()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return request;
    }
    std::size_t last_request_items()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return request_items;
    }

    bool opened = false;

private:
    void serve()
    {
        yarp::os::Bottle in;
        while (port.read(in, true)) {
            yarp::os::Bottle out;
            {
                std::lock_guard<std::mutex> lock(mutex);
                request = in.toString();
                request_items = in.size();
                out.fromString(answer);
            }
            port.reply(out);
        }
    }

    yarp::os::Port port;
    std::thread thread;
    std::mutex mutex;
    std::string answer;
    std::string request;
    std::size_t request_items = 0;
};

/// A vector stream (inertial sensor, skin) under `name`.
struct FakeStream {
    explicit FakeStream(const std::string& name) { opened = port.open(name); }
    ~FakeStream() { port.close(); }
    void send(const yarp::sig::Vector& v)
    {
        port.prepare() = v;
        port.writeStrict();
        port.waitForWrite();
    }
    yarp::os::BufferedPort<yarp::sig::Vector> port;
    bool opened = false;
};

}  // namespace

TEST(SensorAgentLines, PositionLinesUseSixDecimals)
{
    EXPECT_EQ(hand_position_line(0.338), "Position 0.338000 \n");
    EXPECT_EQ(inertial_position_line(-9.81), "position -9.810000 \n");
    EXPECT_EQ(hand_position_line(1e20), "Position 100000000000000000000.000000 \n");
    EXPECT_EQ(inertial_position_line(-1e300).size(), std::string("position -1").size() + 300 + 9);
}

// Each activation hands the newest image to the Space as a handle on the port's own object:
// no pixel is copied, and an image still held by a reader is neither refilled nor freed.
TEST(CamSensorAgent, PublishesTheImageItselfAndLetsReadersKeepIt)
{
    FakeCamera camera("/cam_share/out");
    ASSERT_TRUE(camera.opened);
    const SensorBlock c = sensor_config("cam_share", kNever, kNever);
    auto& agent = set_up<CamSensorAgent>("cam_share_conf", c);
    ASSERT_EQ(camera.port.getOutputCount(), 1);

    // The agent does not wait for an image: each activation below comes once it has arrived.
    auto arrived = [&] { return poll_until([&] { return agent.the_port()->getPendingReads() > 0; }); };
    camera.send(1);
    ASSERT_TRUE(arrived());
    agent.sense_select_act(0);
    const ImageHandle first = Space::getSpace()->read(c.data_key, ImageHandle());
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), agent.the_port()->lastRead());   // the port's object, not a copy
    EXPECT_EQ(ac_test::frame_of(*first), 1);

    for (std::uint32_t frame = 2; frame <= 6; ++frame) {
        camera.send(frame);
        ASSERT_TRUE(arrived());
        agent.sense_select_act(0);
        const ImageHandle now = Space::getSpace()->read(c.data_key, ImageHandle());
        ASSERT_TRUE(now);
        EXPECT_EQ(ac_test::frame_of(*now), frame);
        EXPECT_NE(now.get(), first.get());
    }
    EXPECT_EQ(ac_test::frame_of(*first), 1);   // still held here, so untouched
}

TEST(CamSensorAgent, ClosedPortPrintsNoImageAndWritesNothing)
{
    const SensorBlock c = sensor_config("cam_cut", kNever, kNever);
    auto& agent = set_up<CamSensorAgent>("cam_cut_conf", c);
    ac_test::SpaceWriteCounter writes(c.data_key);
    StdoutCapture out;

    agent.the_port()->close();
    agent.sense_select_act(0);
    EXPECT_EQ(out.text_without_link_reports(), "No image\n");
    EXPECT_EQ(writes.writes(), 0u);
}

// A camera that is not there at start is connected once it is, and again after it went away
// and came back (a restarted simulator), with one line per change and none per attempt. A
// missing camera is no failed read: no "No image".
TEST(CamSensorAgent, MissingOrLostCameraIsConnectedWhenItIsBack)
{
    const SensorBlock c = sensor_config("cam_back", 0, 20);
    Space::getSpace()->write(std::string("cam_back_conf"), c, 0, 1.0f);
    StdoutCapture out;
    auto& agent = make_kept<Observed<CamSensorAgent>>("cam_back_conf");
    agent.start(nullptr);
    ASSERT_TRUE(agent.wait_init());
    ASSERT_TRUE(agent.wait_activations(3));
    EXPECT_FALSE(Space::getSpace()->read(c.data_key, ImageHandle()));

    auto published = [&](std::uint32_t frame) {
        return poll_until([&] {
            const ImageHandle image = Space::getSpace()->read(c.data_key, ImageHandle());
            return image && ac_test::frame_of(*image) == frame;
        });
    };
    {
        FakeCamera camera("/cam_back/out");
        ASSERT_TRUE(camera.opened);
        EXPECT_TRUE(poll_until([&] { return camera.port.getOutputCount() == 1; }));
        camera.send(7);
        EXPECT_TRUE(published(7));
    }
    EXPECT_TRUE(poll_until([&] { return out.count("lost /cam_back/out") == 1; }));
    FakeCamera again("/cam_back/out");
    ASSERT_TRUE(again.opened);
    EXPECT_TRUE(poll_until([&] { return again.port.getOutputCount() == 1; }));
    again.send(8);
    EXPECT_TRUE(published(8));

    EXPECT_EQ(out.count("CamSensorAgent cam_back_conf: no /cam_back/out to connect "
                        "/cam_back/out to /cam_back/in, trying again every second\n"), 1);
    EXPECT_EQ(out.count("CamSensorAgent cam_back_conf: lost /cam_back/out, trying again "
                        "every second\n"), 1);
    EXPECT_EQ(out.count("CamSensorAgent cam_back_conf: connected /cam_back/out to /cam_back/in\n"),
              2);
    EXPECT_EQ(out.count("No image"), 0);
}

// After a restart of the name server (as the registration watch sees it) the camera agent
// opens its port again, says so once, connects it to the camera again and publishes its
// images; before it, nothing is opened again however often the watch looks.
TEST(CamSensorAgent, OpensItsPortAgainAfterTheNameServerWasRestarted)
{
    std::atomic<bool> forgotten{false};   // the name server no longer knows the canary
    auto watch = std::make_shared<RegistrationWatch>(
        "sensor_agents_test",
        RegistrationWatch::Canary{[&] { return !forgotten.load(); },
                                  [&] { forgotten = false; return true; }},
        std::chrono::milliseconds(5));
    const SensorBlock c = sensor_config("cam_reg", 0, 20);
    Space::getSpace()->write(std::string("cam_reg_conf"), c, 0, 1.0f);
    // A stream, as the simulator's: on an installed YARP the camera's side of the dropped
    // connection goes at its next write, and only then can it be made again.
    FakeCamera camera("/cam_reg/out");
    ASSERT_TRUE(camera.opened);
    camera.stream();
    StdoutCapture out;
    auto& agent = make_kept<Observed<CamSensorAgent>>("cam_reg_conf", watch);
    agent.start(nullptr);
    auto newest = [&] {
        const ImageHandle image = Space::getSpace()->read(c.data_key, ImageHandle());
        return image ? ac_test::frame_of(*image) : 0u;
    };
    ASSERT_TRUE(poll_until([&] { return newest() > 0; }));
    EXPECT_EQ(out.count("registered /cam_reg/in again"), 0);

    forgotten = true;
    ASSERT_TRUE(poll_until([&] { return watch->generation() == 1u; }));
    EXPECT_TRUE(poll_until([&] {
        return out.count("CamSensorAgent cam_reg_conf: the name server was restarted; "
                         "registered /cam_reg/in again\n") == 1;
    }));
    EXPECT_TRUE(poll_until([&] {
        return out.count("CamSensorAgent cam_reg_conf: connected /cam_reg/out to /cam_reg/in\n") == 1;
    })) << out.text();
    const std::uint32_t after = newest();
    EXPECT_TRUE(poll_until([&] { return newest() > after; }));   // images again
    EXPECT_EQ(out.count("registered /cam_reg/in again"), 1);
    watch->stop();   // before the test's middleware goes; the agent keeps its share
}

// On its defaults (no configuration block) the camera agent reads /icubSim/cam/left into
// /left/image/in every 250 ms and publishes at most one image per tick under "leftImage".
TEST(CamSensorAgent, DefaultsPublishOneImagePerTick)
{
    FakeCamera camera("/icubSim/cam/left");
    ASSERT_TRUE(camera.opened);
    camera.stream();
    ac_test::SpaceWriteCounter writes("leftImage");
    auto& agent = make_kept<Observed<CamSensorAgent>>("cam_default_conf_absent");
    agent.start(nullptr);

    ASSERT_TRUE(agent.wait_activations(1, std::chrono::seconds(5)));
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(agent.wait_activations(3, std::chrono::seconds(5)));
    const auto third = std::chrono::steady_clock::now();

    // Never more than one image per tick; only the tick that makes the connection may find
    // no image yet (the camera streams back to back, so later ticks always find one).
    const auto ticks = static_cast<unsigned long>(agent.activations());
    EXPECT_LE(writes.writes(), ticks);
    EXPECT_GE(writes.writes() + 1, ticks);
    // Two periods of 250 ms lie between the first and the third tick (never less; the
    // upper side depends on the machine's load and is not checked here).
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(third - first).count(), 400);
    const ImageHandle image = Space::getSpace()->read("leftImage", ImageHandle());
    ASSERT_TRUE(image);
    EXPECT_GE(ac_test::frame_of(*image), 1);
}

// Race window: the camera refills its images as fast as it can while a reader scans the
// published image slowly, many times over. Were the image shared by address, the port
// would refill it under the reader (a data race for ThreadSanitizer, a changed frame number
// or a broken pattern here).
TEST(CamSensorAgent, SlowReaderSeesItsImageUnchanged)
{
    FakeCamera camera("/cam_slow/out");
    ASSERT_TRUE(camera.opened);
    const SensorBlock c = sensor_config("cam_slow", 0, 10);
    Space::getSpace()->write(std::string("cam_slow_conf"), c, 0, 1.0f);
    auto& agent = make_kept<Observed<CamSensorAgent>>("cam_slow_conf");
    agent.start(nullptr);
    ASSERT_TRUE(agent.wait_init());

    camera.stream();

    int scans = 0, broken = 0;
    std::set<long> frames_seen;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < end) {
        const ImageHandle image = Space::getSpace()->read(c.data_key, ImageHandle());
        if (!image) {
            std::this_thread::yield();
            continue;
        }
        // A slow scan: the same image checked over and over for ~30 ms while new frames
        // keep arriving and the agent keeps publishing.
        const long frame = ac_test::frame_of(*image);
        const auto scan_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
        do {
            if (frame < 0 || ac_test::frame_of(*image) != frame) {
                ++broken;
            }
        } while (std::chrono::steady_clock::now() < scan_end);
        frames_seen.insert(frame);
        ++scans;
    }

    EXPECT_EQ(broken, 0);
    EXPECT_GT(scans, 3);
    EXPECT_GT(frames_seen.size(), 3u);   // the camera and the agent did move on meanwhile
}

// Shutdown: once released, the camera agent makes no further call to its port, however
// many images still come (the middleware may be shutting down under it), and its port is
// closed, so no name server keeps it registered after the program. An image a reader still
// holds then stays the reader's: letting it go later calls nothing of the closed port.
TEST(CamSensorAgent, ReleasedAgentPublishesNothingMore)
{
    FakeCamera camera("/cam_quit/out");
    ASSERT_TRUE(camera.opened);
    camera.stream();
    const SensorBlock c = sensor_config("cam_quit", 0, 10);
    Space::getSpace()->write(std::string("cam_quit_conf"), c, 0, 1.0f);
    ac_test::SpaceWriteCounter writes(c.data_key);
    auto& agent = make_kept<Observed<CamSensorAgent>>("cam_quit_conf");
    agent.start(nullptr);
    ASSERT_TRUE(poll_until([&] { return writes.writes() >= 3; }));
    ImageHandle held = Space::getSpace()->read(c.data_key, ImageHandle());
    ASSERT_TRUE(held);

    EXPECT_EQ(release_robot_agents({&agent}), 1);
    EXPECT_FALSE(yarp::os::NetworkBase::exists(c.local_port, true));
    EXPECT_EQ(held->width(), 320u);
    held.reset();
    const unsigned long published = writes.writes();
    ASSERT_TRUE(agent.wait_activations(agent.activations() + 5));   // ticks go on
    EXPECT_EQ(writes.writes(), published);
}

// On its defaults the hand agent asks /icubSim/world "world get lhand" and publishes one
// element per reply item, printing a "Position" line for each.
TEST(HandPosSensorAgent, PublishesOneElementPerReplyItem)
{
    FakeWorld world("/icubSim/world");
    ASSERT_TRUE(world.opened);
    auto& agent = make_kept<Probe<HandPosSensorAgent>>("hand_conf_absent");
    agent.init("hand_conf_absent");
    ac_test::SpaceWriteCounter writes("lhand_pos");
    StdoutCapture out;

    world.answer_with("0.338 0.744 0.185");
    agent.sense_select_act(0);
    EXPECT_EQ(world.last_request(), "world get lhand");
    EXPECT_EQ(world.last_request_items(), 3u);
    EXPECT_EQ(plain(Space::getSpace()->read("lhand_pos", yarp::sig::Vector())),
              (std::vector<double>{0.338, 0.744, 0.185}));
    EXPECT_EQ(out.text_without_link_reports(), "Position 0.338000 \nPosition 0.744000 \nPosition 0.185000 \n");

    // Items that are not numbers count as 0; an empty reply gives an empty vector.
    world.answer_with("1 two 3.5 (4)");
    agent.sense_select_act(0);
    EXPECT_EQ(plain(Space::getSpace()->read("lhand_pos", yarp::sig::Vector())),
              (std::vector<double>{1, 0, 3.5, 0}));
    world.answer_with("");
    agent.sense_select_act(0);
    EXPECT_EQ(Space::getSpace()->read("lhand_pos", vec({-1})).size(), 0u);
    EXPECT_EQ(out.count("Position"), 3 + 4);
    EXPECT_EQ(writes.writes(), 3u);
}

// With the world interface gone the call fails: the agent publishes nothing rather than the
// previous answer again.
TEST(HandPosSensorAgent, FailedCallPublishesNothing)
{
    auto world = std::make_unique<FakeWorld>("/hand_gone/out");
    ASSERT_TRUE(world->opened);
    const SensorBlock c = sensor_config("hand_gone", kNever, kNever, "world get lhand");
    auto& agent = set_up<HandPosSensorAgent>("hand_gone_conf", c);
    ac_test::SpaceWriteCounter writes(c.data_key);
    StdoutCapture out;

    world->answer_with("1 2 3");
    agent.sense_select_act(0);
    ASSERT_EQ(writes.writes(), 1u);
    world->stop();
    agent.sense_select_act(0);
    agent.sense_select_act(0);
    EXPECT_EQ(writes.writes(), 1u);
    EXPECT_EQ(out.count("Position"), 3);
}

TEST(InertialAndTouchAgents, PublishTheNewestVector)
{
    FakeStream imu("/icubSim/inertial");
    FakeStream skin("/icubSim/skin/left_hand");
    ASSERT_TRUE(imu.opened && skin.opened);
    auto& inertial = make_kept<Probe<InertialSensorAgent>>("imu_conf_absent");
    auto& touch = make_kept<Probe<TouchSensorAgent>>("skin_conf_absent");
    inertial.init("imu_conf_absent");
    touch.init("skin_conf_absent");
    StdoutCapture out;

    // The agents do not wait for a vector: each activation comes once it has arrived.
    imu.send(vec({0.5, -9.81, 0, 12}));
    ASSERT_TRUE(poll_until([&] { return inertial.the_port()->getPendingReads() > 0; }));
    inertial.sense_select_act(0);
    EXPECT_EQ(plain(Space::getSpace()->read("inertial", yarp::sig::Vector())),
              (std::vector<double>{0.5, -9.81, 0, 12}));
    EXPECT_EQ(out.text_without_link_reports(), "position 0.500000 \nposition -9.810000 \nposition 0.000000 \n"
                          "position 12.000000 \n");

    skin.send(vec({1, 0, 0, 1, 1}));
    ASSERT_TRUE(poll_until([&] { return touch.the_port()->getPendingReads() > 0; }));
    touch.sense_select_act(0);
    EXPECT_EQ(plain(Space::getSpace()->read("left_touch", yarp::sig::Vector())),
              (std::vector<double>{1, 0, 0, 1, 1}));
    EXPECT_EQ(out.count("\n"), 4);   // the touch agent prints nothing
}

TEST(InertialAndTouchAgents, ClosedPortPublishesNothing)
{
    const SensorBlock ic = sensor_config("imu_cut", kNever, kNever);
    const SensorBlock tc = sensor_config("skin_cut", kNever, kNever);
    auto& inertial = set_up<InertialSensorAgent>("imu_cut_conf", ic);
    auto& touch = set_up<TouchSensorAgent>("skin_cut_conf", tc);
    ac_test::SpaceWriteCounter imu_writes(ic.data_key);
    ac_test::SpaceWriteCounter skin_writes(tc.data_key);
    StdoutCapture out;

    inertial.the_port()->interrupt();
    touch.the_port()->close();
    inertial.sense_select_act(0);
    touch.sense_select_act(0);
    EXPECT_EQ(imu_writes.writes() + skin_writes.writes(), 0u);
    EXPECT_EQ(out.text_without_link_reports(), "");
}
