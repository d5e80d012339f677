// The Space on its two ports, as the inspector sees them from another process: the requests
// and their "[fail]" answers to anything else, and the event stream that carries every write
// made while a reader is connected (and none made before).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include "app/space_ports.h"

namespace {

using Vec = std::vector<double>;

class SpacePortsTest : public ::testing::Test {
protected:
    void SetUp() override {
        space.write("head_vel", Vec{0.5, 0, 0, 0, 0, 0}, 0, 100.0f);  // holds: writes below 100 are refused
        ASSERT_TRUE(client.open("/space_ports_test/client"));
        ASSERT_TRUE(yarp::os::NetworkBase::connect("/space_ports_test/client",
                                                   "/space_ports_test/space/rpc"));
        client.setTimeout(5.0f);
    }
    void TearDown() override { client.close(); }

    /// The reply to `request` as text.
    std::string ask(const yarp::os::Bottle& request) {
        yarp::os::Bottle reply;
        EXPECT_TRUE(client.write(request, reply)) << request.toString();
        return reply.toString();
    }
    std::string ask(const std::string& text) { return ask(yarp::os::Bottle(text)); }

    yarp::os::Network network;
    Space space;
    SpacePorts ports{space, "/space_ports_test"};
    yarp::os::Port client;
};

TEST_F(SpacePortsTest, ListGetAndHelpAnswerWithJsonOfTheEntries) {
    const std::string list = ask("list");
    EXPECT_EQ(list.rfind("\"[ok]\"", 0), 0u) << list;
    EXPECT_NE(list.find("vector of 6 doubles"), std::string::npos) << list;
    const std::string one = ask("get head_vel");
    EXPECT_NE(one.find("unnamed thread"), std::string::npos) << one;
    EXPECT_NE(one.find("\\\"priority\\\":100"), std::string::npos) << one;
    EXPECT_NE(ask("help").find("get KEY"), std::string::npos);
}

TEST_F(SpacePortsTest, BadRequestsGetOneFailLineAndTheServerGoesOn) {
    yarp::os::Bottle number;
    number.addInt32(7);
    yarp::os::Bottle nested("(list) get");
    yarp::os::Bottle empty;
    const std::string huge(100000, 'x');
    for (const yarp::os::Bottle& bad :
         {yarp::os::Bottle("frobnicate"), yarp::os::Bottle("get"), yarp::os::Bottle("get 12"),
          yarp::os::Bottle("get no_such_key"), yarp::os::Bottle("get a b"),
          yarp::os::Bottle("list everything"), number, nested, empty,
          yarp::os::Bottle(huge)}) {
        const std::string reply = ask(bad);
        EXPECT_EQ(reply.rfind("\"[fail] ", 0), 0u) << bad.toString().substr(0, 40) << " -> " << reply;
        EXPECT_LT(reply.size(), 200u) << "the answer does not echo a huge request";
    }
    EXPECT_NE(ask("get no_such_key").find("no entry \\\"no_such_key\\\""), std::string::npos);
    EXPECT_EQ(ask("list").rfind("\"[ok]\"", 0), 0u) << "still serving";
}

TEST_F(SpacePortsTest, EventsFlowOnlyWhileAReaderIsConnected) {
    space.write("head_vel", Vec{9, 9, 9, 9, 9, 9}, 0, 100.0f);  // nobody reads yet
    yarp::os::BufferedPort<yarp::os::Bottle> reader;
    reader.setStrict();
    ASSERT_TRUE(reader.open("/space_ports_test/events:i"));
    ASSERT_TRUE(yarp::os::NetworkBase::connect("/space_ports_test/space/events",
                                               "/space_ports_test/events:i"));
    // The server notices the reader within its 50 ms poll; write until an event comes through.
    std::vector<std::string> lines;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lines.empty() && std::chrono::steady_clock::now() < give_up) {
        const SpaceWriter as("EyeVersionAgent search");
        space.write("head_vel", Vec{1, 2, 3, 4, 5, 6}, 250, 10.0f);  // refused: 100 in force
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (yarp::os::Bottle* b = reader.read(false)) {
            EXPECT_TRUE(b->get(0).isInt64() || b->get(0).isInt32()) << b->toString();
            for (size_t i = 1; i < b->size(); ++i) lines.push_back(b->get(i).asString());
        }
    }
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("[9,"), std::string::npos) << "a write from before the reader came: " << line;
        EXPECT_NE(line.find("\"writer\":\"EyeVersionAgent search\",\"priority\":10,\"validity_ms\":250,"
                            "\"accepted\":false,\"value\":[1,2,3,4,5,6]}"),
                  std::string::npos)
            << line;
    }
    reader.close();
}

}  // namespace
