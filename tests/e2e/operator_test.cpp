// The operator's head window drives the simulated head: the basic controller's wiring runs
// in this process (the head window and the head position motor agent over the Space) against
// robot_sim as a child process, and the head's encoders are read through a board client of
// the test's own.
#include <QApplication>
#include <QSlider>

#include <cmath>

#include "app/wiring.h"
#include "e2e_support.h"
#include "gui/headcontrolgui.h"

namespace {

using namespace e2e;

bool near(const probe::HeadJoints& j, const std::vector<double>& target, double tolerance)
{
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (std::fabs(j[i] - target[i]) > tolerance) {
            return false;
        }
    }
    return true;
}

std::string describe(const probe::HeadJoints& j)
{
    std::string text;
    for (double v : j) {
        text += std::to_string(v) + " ";
    }
    return text;
}

TEST(Operator, HeadWindowSlidersAndSpaceWritesMoveTheSimulatedHead)
{
    yarp::os::Network network;
    ChildProcess sim({ROBOT_SIM, "--quiet", "--no-camera"}, logPath("robot_sim"));
    ASSERT_TRUE(eventually([] { return port_live("/icubSim/world"); }, kStartTimeout)) << sim.tail();

    static int argc = 1;
    static char name[] = "e2e_operator_test";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    // The basic controller's wiring, as its entry function builds it.
    const ConfBlock config = write_basic_configuration(*Space::getSpace());
    HeadControlGui window;
    window.enableVelocity(false);
    window.space_key = config.joints_key;
    window.show();
    std::vector<Agent*> agents = create_basic_agents();  // never deleted, as in the program
    ASSERT_EQ(start_agents(agents, stdout), 0);

    probe::HeadProbe head;
    std::string error;
    ASSERT_TRUE(head.open("/e2e/operator/head", "/icubSim/head", &error)) << error;
    probe::HeadJoints joints{};

    // The vector the window writes, written directly. The agent arms its trigger once its
    // board client is up, which the test cannot see: write again until the head moves (a
    // repeated write of the same targets changes nothing on the board).
    const std::vector<double> first{-15, 0, 20, -10, 8, 0};
    yarp::sig::Vector vector(6);
    for (int i = 0; i < 6; ++i) {
        vector[i] = first[i];
    }
    ASSERT_TRUE(eventually(
        [&] {
            Space::getSpace()->write(config.joints_key, vector, 0, 1.0f);
            return head.positions(&joints) && near(joints, first, 0.5);
        },
        60s, 250ms))
        << "head at " << describe(joints);

    // The sliders, one after the other as an operator moves them: each move writes the whole
    // vector, and the head follows before the next slider is touched. (The motor agent is
    // woken by each write, but a write that lands while it is still busy with the previous
    // one wakes nobody: it reaches the board only with the next write.)
    // The head has just reached its first target; let the activation of the last write
    // above finish, as an operator's hand would, before the first slider moves.
    std::this_thread::sleep_for(500ms);
    const std::vector<double> second{10, 5, -25, 5, -12, 20};
    for (int j = 0; j < 6; ++j) {
        SCOPED_TRACE(testing::Message() << "slider " << j);
        QSlider* slider = window.findChild<QSlider*>(QString("joint%1").arg(j));
        ASSERT_NE(slider, nullptr);
        slider->setValue(static_cast<int>(second[j]));
        app.processEvents();
        EXPECT_TRUE(eventually([&] { return head.positions(&joints) && std::fabs(joints[j] - second[j]) < 0.5; }, 60s))
            << "head at " << describe(joints);
    }
    EXPECT_TRUE(near(joints, second, 0.5)) << "head at " << describe(joints);
    head.close();
    EXPECT_TRUE(exitedWithZero(sim.stop(SIGTERM))) << sim.tail();
}

}  // namespace
