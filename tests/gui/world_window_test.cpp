// The world window against a stand-in for the simulator's world port: what each control
// sends, and that a world port which never answers, or is not there, costs a bounded wait and
// shows in the status bar.
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QtTest/QTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include "gui/worldgui.h"
#include "qt_test_support.h"

namespace {

/// A request as text with every double at nine significant digits, so the same values give the
/// same text whichever YARP formats them (YARP 3.12 writes -0.15 as -0.149999999999999994449).
/// A whole-numbered double keeps a ".0" so it still reads as a double.
std::string canonical(const yarp::os::Bottle& request) {
    std::string text;
    for (std::size_t i = 0; i < request.size(); ++i) {
        const yarp::os::Value& item = request.get(i);
        if (i > 0) text += ' ';
        if (item.isFloat64()) {
            char number[32];
            std::snprintf(number, sizeof number, "%.9g", item.asFloat64());
            text += number;
            if (std::strpbrk(number, ".eEn") == nullptr) text += ".0";
        } else {
            text += item.toString();
        }
    }
    return text;
}

/// Stands in for the simulator's world port: records every request, and answers it unless
/// told to stay silent (a simulator that accepted the connection and then hung).
class WorldPortStub {
public:
    explicit WorldPortStub(bool answer) : answer(answer) {
        opened = port.open(WorldGui::world_port_name);
        if (opened) serving = std::thread([this] { serve(); });
    }
    ~WorldPortStub() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            closing = true;
        }
        wake.notify_all();
        port.interrupt();
        port.close();
        if (serving.joinable()) serving.join();
    }
    bool opened = false;

    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

private:
    void serve() {
        yarp::os::Bottle request;
        while (port.read(request, true)) {
            std::unique_lock<std::mutex> lock(mutex);
            received.push_back(canonical(request));
            if (!answer) {
                // Hold the request unanswered until the test ends.
                wake.wait(lock, [this] { return closing; });
                return;
            }
            lock.unlock();
            yarp::os::Bottle ok("ok");
            port.reply(ok);
        }
    }

    const bool answer;
    yarp::os::Port port;
    std::thread serving;
    std::mutex mutex;
    std::condition_variable wake;
    bool closing = false;
    std::vector<std::string> received;
};

struct Window {
    WorldGui gui;
    QSlider& slider(const char* name) { return *gui.findChild<QSlider*>(name); }
    QDoubleSpinBox& field(const char* name) { return *gui.findChild<QDoubleSpinBox*>(name); }
    void press_set() { QTest::mouseClick(gui.findChild<QPushButton*>("pushButton"), Qt::LeftButton); }
    QString status() { return gui.statusBar()->currentMessage(); }
};

class WorldWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test_application();
        static yarp::os::Network yarp;
    }
};

TEST_F(WorldWindowTest, SetRightAfterStartSendsTheFormsPosition) {
    WorldPortStub world(true);
    ASSERT_TRUE(world.opened);
    Window window;
    EXPECT_TRUE(world.requests().empty()) << "building the window sends nothing";
    EXPECT_EQ(window.slider("xpos").value(), -150);
    EXPECT_EQ(window.slider("ypos").value(), 553);
    EXPECT_EQ(window.slider("zpos").value(), 350);
    window.press_set();
    EXPECT_EQ(world.requests(), std::vector<std::string>{"world set ball -0.15 0.553 0.35"});
    EXPECT_EQ(window.gui.ballCommand().size(), 6u);
    EXPECT_TRUE(window.gui.ballCommand().get(3).isFloat64());
}

TEST_F(WorldWindowTest, SlidersSendTheirCoordinateWithTheFieldsAsTheyStand) {
    WorldPortStub world(true);
    ASSERT_TRUE(world.opened);
    Window window;
    window.gui.show();

    // Typing into a field sends nothing by itself ...
    QDoubleSpinBox& y = window.field("y_value");
    y.setFocus();
    y.selectAll();
    QTest::keyClicks(&y, "0.6");
    ASSERT_DOUBLE_EQ(y.value(), 0.6);
    EXPECT_TRUE(world.requests().empty());

    // ... but goes out with the next slider move.
    window.slider("xpos").setValue(200);
    EXPECT_DOUBLE_EQ(window.field("x_value").value(), 0.2);
    ASSERT_EQ(world.requests().size(), 1u);
    EXPECT_EQ(world.requests()[0], "world set ball 0.2 0.6 0.35");

    // The keyboard sends like a drag; on ypos one step spans the whole range.
    QSlider& ypos = window.slider("ypos");
    ypos.setFocus();
    QTest::keyClick(&ypos, Qt::Key_Left);
    EXPECT_EQ(ypos.value(), 0);
    QSlider& zpos = window.slider("zpos");
    zpos.setFocus();
    QTest::keyClick(&zpos, Qt::Key_Right);
    EXPECT_EQ(world.requests(), (std::vector<std::string>{"world set ball 0.2 0.6 0.35",
                                                          "world set ball 0.2 0.0 0.35",
                                                          "world set ball 0.2 0.0 0.351"}));
}

TEST_F(WorldWindowTest, AWorldPortThatNeverAnswersCostsABoundedWaitAndIsReported) {
    WorldPortStub world(false);
    ASSERT_TRUE(world.opened);
    Window window;
    window.gui.show();

    const auto start = std::chrono::steady_clock::now();
    window.press_set();
    const auto waited = std::chrono::steady_clock::now() - start;
    // The bound is about one second; allow a loaded machine plenty more.
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_EQ(world.requests().size(), 1u);
    EXPECT_TRUE(window.status().contains("No reply")) << window.status().toStdString();

    // The window is still usable: the next command also returns and is reported.
    window.gui.statusBar()->clearMessage();
    window.slider("zpos").setValue(400);
    EXPECT_DOUBLE_EQ(window.field("z_value").value(), 0.4);
    EXPECT_FALSE(window.status().isEmpty());
}

TEST_F(WorldWindowTest, AMissingWorldPortIsReportedAndTheConnectionRetried) {
    Window window;
    EXPECT_TRUE(window.status().contains("Not connected")) << window.status().toStdString();
    window.press_set();
    EXPECT_TRUE(window.status().contains("Not connected"));

    // The simulator comes up later: the next command connects and goes through.
    WorldPortStub world(true);
    ASSERT_TRUE(world.opened);
    window.press_set();
    EXPECT_EQ(world.requests(), std::vector<std::string>{"world set ball -0.15 0.553 0.35"});
    EXPECT_TRUE(window.status().startsWith("Ball set to")) << window.status().toStdString();
}

}  // namespace
