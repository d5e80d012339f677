// The simulator served over ports in this process: the head driven through the
// remote_controlboard device, the camera stream, the world request port and the sensor
// streams. Waits poll for the awaited state with generous timeouts; the only timing claim
// is a lower bound (a move at a set speed cannot finish sooner).
#include "sim/serve/robot_sim.h"
#include "sim_test_support.h"
#include "support/board_client.h"
#include "support/wait.h"

#include "sim/serve/board_device.h"
#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/os/Property.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace yarp::dev;
using yarp::os::Bottle;
using yarp::os::NetworkBase;

namespace {

using ac_test::poll_until;
using Clock = std::chrono::steady_clock;

class ServedSimulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string failure = service.start();
        ASSERT_EQ(failure, "");
    }
    void TearDown() override { service.stop(); }

    sim::Simulation simulation{sim::Simulation::Config{}};
    sim::RobotSim service{simulation, sim::RobotSim::Settings{}};
};

/// A remote_controlboard client of the head with all the interfaces the agents use.
struct HeadClient : ac_test::BoardClient {
    explicit HeadClient(const std::string& local) : BoardClient("/icubSim/head", local)
    {
        // An installed YARP's client reads the board's state from a stream: wait for the
        // first state to arrive.
        std::vector<double> first(6);
        if (ok()) {
            poll_until([&] { return enc->getEncoders(first.data()); });
        }
    }
    double encoder(int j)
    {
        double v = 0.0;
        EXPECT_TRUE(enc->getEncoder(j, &v));
        return v;
    }
    bool motionDone()
    {
        bool done = false;
        return pos->checkMotionDone(&done) && done;
    }
    /// Readings may lag commands by one state period (an installed YARP streams them).
    bool reads(int j, double value)
    {
        return poll_until([&] { return encoder(j) == value; });
    }
    bool inMode(int j, int wanted)
    {
        return poll_until([&] {
            int m = 0;
            return mode->getControlMode(j, &m) && m == wanted;
        });
    }
};

} // namespace

TEST_F(ServedSimulator, PositionMovesRunAtTheReferenceSpeedAndStopOnTarget)
{
    HeadClient head("/test/head");
    ASSERT_TRUE(head.ok());
    int axes = 0;
    ASSERT_TRUE(head.enc->getAxes(&axes));
    EXPECT_EQ(axes, 6);

    const std::vector<double> speeds{20, 20, 20, 20, 20, 20}, accs{200, 200, 200, 200, 200, 200};
    ASSERT_TRUE(head.pos->setRefSpeeds(speeds.data()));
    ASSERT_TRUE(head.pos->setRefAccelerations(accs.data()));
    const auto start = Clock::now();
    ASSERT_TRUE(head.pos->positionMove(2, 20.0));
    ASSERT_TRUE(poll_until([&] { return head.motionDone(); }));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(seconds, 0.9) << "20 degrees at 20 deg/s cannot take less than a second";
    EXPECT_TRUE(head.reads(2, 20.0)) << head.encoder(2);
    EXPECT_EQ(head.encoder(0), 0.0);

    // Beyond the window's range the target is clamped: the joint stops at its limit.
    ASSERT_TRUE(head.pos->positionMove(2, 90.0));
    ASSERT_TRUE(poll_until([&] { return head.motionDone(); }));
    EXPECT_TRUE(head.reads(2, 55.0)) << head.encoder(2);
}

TEST_F(ServedSimulator, ControlModesVelocityIntegrationLimitsAndStop)
{
    HeadClient head("/test/head");
    ASSERT_TRUE(head.ok());
    std::vector<int> modes(6, 0);
    ASSERT_TRUE(head.mode->getControlModes(modes.data()));
    EXPECT_EQ(modes, std::vector<int>(6, VOCAB_CM_POSITION));

    // In position mode a velocity command is accepted and ignored. A position move of
    // another joint shows that time has passed meanwhile.
    EXPECT_TRUE(head.vel->velocityMove(4, 30.0));
    const std::vector<double> fast(6, 200.0);
    head.pos->setRefSpeeds(fast.data());
    head.pos->setRefAccelerations(fast.data());
    ASSERT_TRUE(head.pos->positionMove(0, 10.0));
    ASSERT_TRUE(poll_until([&] { return head.motionDone(); }));
    EXPECT_EQ(head.encoder(4), 0.0);

    // In velocity mode the joint integrates the command until its limit, and stays there.
    ASSERT_TRUE(head.mode->setControlMode(4, VOCAB_CM_VELOCITY));
    ASSERT_TRUE(head.inMode(4, VOCAB_CM_VELOCITY));
    EXPECT_TRUE(head.pos->positionMove(4, -20.0)) << "ignored, but true";
    ASSERT_TRUE(head.vel->velocityMove(4, 60.0));
    ASSERT_TRUE(poll_until([&] { return head.encoder(4) >= 52.0; }));
    EXPECT_EQ(head.encoder(4), 52.0);

    // Back down, then stop halfway: the joint stays where stop() caught it.
    ASSERT_TRUE(head.vel->velocityMove(4, -60.0));
    ASSERT_TRUE(poll_until([&] { return head.encoder(4) < 30.0; }));
    ASSERT_TRUE(head.vel->stop());
    ASSERT_TRUE(head.pos->positionMove(0, 0.0));
    ASSERT_TRUE(poll_until([&] { return head.motionDone(); }));
    const double stopped = head.encoder(4);
    EXPECT_GT(stopped, -50.0);
    EXPECT_LT(stopped, 30.0);
    ASSERT_TRUE(head.pos->positionMove(0, 5.0));
    ASSERT_TRUE(poll_until([&] { return head.motionDone(); }));
    EXPECT_TRUE(head.reads(0, 5.0));
    EXPECT_EQ(head.encoder(4), stopped);

    EXPECT_FALSE(head.mode->setControlMode(4, 12345)) << "not a control mode";
}

// As on the real simulator, a joint left in velocity mode keeps turning at the last
// commanded velocity after the client that commanded it has closed: the controller's exit
// leaves the head moving until every joint sits at a limit.
TEST_F(ServedSimulator, AVelocityCommandOutlivesItsClient)
{
    {
        HeadClient head("/test/head");
        ASSERT_TRUE(head.ok());
        ASSERT_TRUE(head.mode->setControlMode(2, VOCAB_CM_VELOCITY));
        ASSERT_TRUE(head.vel->velocityMove(2, 20.0));
        ASSERT_TRUE(poll_until([&] { return head.encoder(2) > 1.0; }));
        head.driver.close();
    }
    const double afterClose = simulation.head().positions()[2];
    ASSERT_TRUE(poll_until([&] { return simulation.head().positions()[2] > afterClose + 5.0; }))
        << "the joint goes on turning";
    ASSERT_TRUE(poll_until([&] { return simulation.head().positions()[2] >= 55.0; })) << "up to its limit";
    sim::ControlMode mode = sim::ControlMode::Position;
    ASSERT_TRUE(simulation.head().getControlMode(2, &mode));
    EXPECT_EQ(mode, sim::ControlMode::Velocity);
}

TEST_F(ServedSimulator, CameraStreamShowsTheBallWhereTheHeadLooks)
{
    yarp::os::BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> camera;
    ASSERT_TRUE(camera.open("/test/cam"));
    ASSERT_TRUE(NetworkBase::connect("/icubSim/cam/left", "/test/cam"));
    auto nextImage = [&]() -> yarp::sig::ImageOf<yarp::sig::PixelRgb>* {
        yarp::sig::ImageOf<yarp::sig::PixelRgb>* image = nullptr;
        poll_until([&] { return (image = camera.read(false)) != nullptr; });
        return image;
    };
    auto blueOf = [](const yarp::sig::ImageOf<yarp::sig::PixelRgb>& image) {
        const std::vector<std::uint8_t> rgb(image.getRawImage(), image.getRawImage() + image.getRawImageSize());
        return sim_test::findBlue(rgb, image.width(), image.height());
    };

    auto* image = nextImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 320u);
    EXPECT_EQ(image->height(), 240u);
    EXPECT_EQ(blueOf(*image).count, 0) << "at rest the ball on the table is below the view";

    HeadClient head("/test/head");
    ASSERT_TRUE(head.ok());
    const std::vector<double> fast(6, 200.0), pose{-35, 0, 0, -30, 0, 0};
    head.pos->setRefSpeeds(fast.data());
    head.pos->setRefAccelerations(fast.data());
    head.pos->positionMove(pose.data());
    ASSERT_TRUE(poll_until([&] { return head.motionDone(); }));
    const auto before = service.framesPublished();
    ASSERT_TRUE(poll_until([&] { return service.framesPublished() > before + 1; }));
    image = nextImage();
    ASSERT_NE(image, nullptr);
    const auto blob = blueOf(*image);
    EXPECT_NEAR(blob.count, 2228, 150);
    EXPECT_NEAR(blob.u, 276.0, 3.0);
    EXPECT_NEAR(blob.v, 61.0, 3.0);
    camera.close();
}

TEST_F(ServedSimulator, WorldRequestsAnswerAndMalformedOnesChangeNothing)
{
    yarp::os::Port client;
    ASSERT_TRUE(client.open("/test/world"));
    ASSERT_TRUE(NetworkBase::connect("/test/world", "/icubSim/world"));
    client.setTimeout(30.0f);
    auto ask = [&](const std::string& text, Bottle extra = Bottle()) {
        Bottle request(text);
        for (std::size_t i = 0; i < extra.size(); ++i) {
            request.add(extra.get(i));
        }
        Bottle reply;
        EXPECT_TRUE(client.write(request, reply)) << text;
        return reply;
    };

    Bottle coords;
    coords.addFloat64(0.1);
    coords.addFloat64(0.554);
    coords.addFloat64(0.5);
    Bottle reply = ask("world set ball", coords);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_TRUE(reply.get(0).isVocab32());
    EXPECT_EQ(reply.get(0).asString(), "ok");
    reply = ask("world get ball");
    ASSERT_EQ(reply.size(), 3u);
    EXPECT_DOUBLE_EQ(reply.get(0).asFloat64(), 0.1);
    EXPECT_DOUBLE_EQ(reply.get(1).asFloat64(), 0.554);
    EXPECT_DOUBLE_EQ(reply.get(2).asFloat64(), 0.5);

    reply = ask("world get lhand");
    ASSERT_EQ(reply.size(), 3u);
    EXPECT_NEAR(reply.get(0).asFloat64(), 0.338, 0.005);
    EXPECT_NEAR(reply.get(1).asFloat64(), 0.744, 0.005);
    EXPECT_NEAR(reply.get(2).asFloat64(), 0.185, 0.005);

    for (const char* bad : {"world fly", "world set ball 1 2", "world set ball one 0.5 0.5", "world get",
                            "world set ball (1 2) 0.5 0.5", "hello", ""}) {
        reply = ask(bad);
        ASSERT_GE(reply.size(), 2u) << bad;
        EXPECT_EQ(reply.get(0).asString(), "fail") << bad;
        EXPECT_FALSE(reply.get(1).asString().empty()) << bad;
        const sim::Vec3 ball = simulation.world().ball();
        EXPECT_DOUBLE_EQ(ball.x, 0.1) << bad;
        EXPECT_DOUBLE_EQ(ball.z, 0.5) << bad;
    }
    client.close();
}

TEST_F(ServedSimulator, InertialAndSkinStreamVectors)
{
    yarp::os::BufferedPort<yarp::sig::Vector> inertial, skin;
    ASSERT_TRUE(inertial.open("/test/inertial"));
    ASSERT_TRUE(skin.open("/test/skin"));
    ASSERT_TRUE(NetworkBase::connect("/icubSim/inertial", "/test/inertial"));
    ASSERT_TRUE(NetworkBase::connect("/icubSim/skin/left_hand", "/test/skin"));
    yarp::sig::Vector* v = nullptr;
    ASSERT_TRUE(poll_until([&] { return (v = inertial.read(false)) != nullptr; }));
    ASSERT_EQ(v->size(), 12u);
    EXPECT_NEAR((*v)[4], 9.81, 1e-6) << "head at rest: gravity along the head's y axis";
    ASSERT_TRUE(poll_until([&] { return (v = skin.read(false)) != nullptr; }));
    ASSERT_EQ(v->size(), 192u);

    // Put the ball into the palm: the palm taxels light up.
    simulation.world().setBall(simulation.hand(sim::Side::Left) + sim::Vec3{0.0, 0.06, 0.0});
    ASSERT_TRUE(poll_until([&] {
        yarp::sig::Vector* s = skin.read(false);
        return s != nullptr && s->size() == 192u && (*s)[100] > 0.0;
    }));
    inertial.close();
    skin.close();
}

TEST_F(ServedSimulator, ASecondInstanceIsRefusedAndNamesThePort)
{
    sim::Simulation other{sim::Simulation::Config{}};
    sim::RobotSim second(other, sim::RobotSim::Settings{});
    const std::string failure = second.start();
    EXPECT_NE(failure.find("/icubSim/head"), std::string::npos) << failure;
    EXPECT_NE(failure.find("already in use"), std::string::npos) << failure;

    HeadClient head("/test/head");
    EXPECT_TRUE(head.ok()) << "the first instance still serves";
}

TEST(RobotSimService, StopClosesEveryPort)
{
    sim::Simulation simulation{sim::Simulation::Config{}};
    sim::RobotSim service(simulation, sim::RobotSim::Settings{});
    ASSERT_EQ(service.start(), "");
    const std::vector<std::string> ports = {sim::BoardServer::rpcPortName("/icubSim/head"),
                                            sim::BoardServer::rpcPortName("/icubSim/left_arm"),
                                            sim::BoardServer::rpcPortName("/icubSim/right_arm"),
                                            "/icubSim/cam/left",
                                            "/icubSim/world",
                                            "/icubSim/inertial",
                                            "/icubSim/skin/left_hand"};
    for (const auto& p : ports) {
        EXPECT_TRUE(NetworkBase::exists(p)) << p;
    }
    service.stop();
    service.stop();
    for (const auto& p : ports) {
        EXPECT_FALSE(NetworkBase::exists(p)) << p;
    }
    ASSERT_EQ(service.start(), "") << "a stopped service can start again";
}
