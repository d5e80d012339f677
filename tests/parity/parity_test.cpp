// What the controller relies on from YARP, checked the same way on every YARP the project
// builds against (the bundled layer and an installed YARP): port names, connections,
// bottle and image round trips, request/reply and its time limits. Values are compared,
// never one implementation's text formatting.
#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/os/Vocab.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

#include <gtest/gtest.h>

#include "support/wait.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <limits>
#include <mutex>
#include <string>
#include <thread>

using namespace yarp::os;
using SteadyClock = std::chrono::steady_clock;
using ac_test::poll_until;
using yarp::sig::ImageOf;
using yarp::sig::PixelRgb;

namespace {

/// A port that answers every request with the request itself, or never (a server that hung).
class Server {
public:
    Server(const std::string& name, bool answer) : answer_(answer)
    {
        opened = port_.open(name);
        if (opened) {
            thread_ = std::thread([this] { serve(); });
        }
    }
    ~Server()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        port_.interrupt();
        port_.close();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool opened = false;

private:
    void serve()
    {
        Bottle request;
        while (port_.read(request, true)) {
            if (!answer_) {
                // Hold the request unanswered until the test ends.
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stop_; });
                return;
            }
            port_.reply(request);
        }
    }
    const bool answer_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    Port port_;
    std::thread thread_;
};

class Parity : public ::testing::Test {
protected:
    static void SetUpTestSuite() { static Network network; }
};

TEST_F(Parity, PortNamesAreRegisteredWhileOpenAndFreedByClose)
{
    const std::string name = "/parity/names";
    EXPECT_FALSE(NetworkBase::exists(name));
    {
        Port port;
        ASSERT_TRUE(port.open(name));
        EXPECT_EQ(port.getName(), name);
        EXPECT_TRUE(NetworkBase::exists(name));
        BufferedPort<Bottle> buffered;
        ASSERT_TRUE(buffered.open(name + "/buffered"));
        EXPECT_EQ(buffered.getName(), name + "/buffered");
        port.close();
        EXPECT_FALSE(NetworkBase::exists(name));
        EXPECT_TRUE(NetworkBase::exists(name + "/buffered"));
    }
    EXPECT_FALSE(NetworkBase::exists(name + "/buffered")) << "destruction closes";
    Port again;
    EXPECT_TRUE(again.open(name)) << "a closed port's name can be opened again";
}

TEST_F(Parity, ConnectionsAreMadeCountedAndUndone)
{
    BufferedPort<Bottle> out;
    BufferedPort<Bottle> in;
    ASSERT_TRUE(out.open("/parity/connect:o"));
    ASSERT_TRUE(in.open("/parity/connect:i"));
    EXPECT_FALSE(NetworkBase::isConnected("/parity/connect:o", "/parity/connect:i"));
    EXPECT_FALSE(NetworkBase::connect("/parity/connect:o", "/parity/missing"));
    EXPECT_FALSE(NetworkBase::connect("/parity/missing", "/parity/connect:i"));

    ASSERT_TRUE(NetworkBase::connect("/parity/connect:o", "/parity/connect:i"));
    EXPECT_TRUE(NetworkBase::isConnected("/parity/connect:o", "/parity/connect:i"));
    EXPECT_TRUE(poll_until([&] { return out.getOutputCount() == 1 && in.getInputCount() == 1; }));
    EXPECT_TRUE(NetworkBase::connect("/parity/connect:o", "/parity/connect:i"))
        << "connecting twice succeeds and keeps one connection";
    EXPECT_TRUE(poll_until([&] { return out.getOutputCount() == 1; }));

    out.prepare().fromString("hello 1");
    out.writeStrict();
    Bottle* got = in.read(true);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->get(0).asString(), "hello");

    ASSERT_TRUE(NetworkBase::disconnect("/parity/connect:o", "/parity/connect:i"));
    EXPECT_FALSE(NetworkBase::isConnected("/parity/connect:o", "/parity/connect:i"));
    EXPECT_TRUE(poll_until([&] { return out.getOutputCount() == 0 && in.getInputCount() == 0; }));
    EXPECT_FALSE(NetworkBase::disconnect("/parity/connect:o", "/parity/connect:i"))
        << "nothing left to disconnect";
}

TEST_F(Parity, BottlesKeepTypesAndValuesOverTheWire)
{
    BufferedPort<Bottle> out;
    BufferedPort<Bottle> in;
    in.setStrict();
    ASSERT_TRUE(out.open("/parity/bottle:o"));
    ASSERT_TRUE(in.open("/parity/bottle:i"));
    ASSERT_TRUE(NetworkBase::connect("/parity/bottle:o", "/parity/bottle:i"));

    Bottle& sent = out.prepare();
    sent.clear();
    sent.addInt32(-7);
    sent.addInt64(std::int64_t{1} << 40);
    sent.addFloat64(-0.15);
    sent.addFloat64(std::numeric_limits<double>::denorm_min());
    sent.addString("two words \"quoted\"");
    sent.addVocab32("pos");
    Bottle& nested = sent.addList();
    nested.addString("set");
    nested.addList().addFloat64(0.5);
    sent.addList();  // empty
    out.writeStrict();

    Bottle* got = in.read(true);
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(got->size(), 8u) << got->toString();
    EXPECT_TRUE(got->get(0).isInt32());
    EXPECT_EQ(got->get(0).asInt32(), -7);
    EXPECT_TRUE(got->get(1).isInt64());
    EXPECT_EQ(got->get(1).asInt64(), std::int64_t{1} << 40);
    EXPECT_TRUE(got->get(2).isFloat64());
    EXPECT_EQ(got->get(2).asFloat64(), -0.15) << "bit-exact on the wire";
    EXPECT_EQ(got->get(3).asFloat64(), std::numeric_limits<double>::denorm_min());
    EXPECT_TRUE(got->get(4).isString());
    EXPECT_EQ(got->get(4).asString(), "two words \"quoted\"");
    EXPECT_TRUE(got->get(5).isVocab32());
    EXPECT_EQ(got->get(5).asVocab32(), yarp::os::createVocab32('p', 'o', 's'));
    ASSERT_TRUE(got->get(6).isList());
    EXPECT_EQ(got->get(6).asList()->get(0).asString(), "set");
    EXPECT_EQ(got->get(6).asList()->get(1).asList()->get(0).asFloat64(), 0.5);
    ASSERT_TRUE(got->get(7).isList());
    EXPECT_EQ(got->get(7).asList()->size(), 0u);

    // The text form parses back to the same values, whatever digits it chose.
    Bottle reparsed(got->toString());
    ASSERT_EQ(reparsed.size(), 8u);
    EXPECT_EQ(reparsed.get(0).asInt32(), -7);
    EXPECT_DOUBLE_EQ(reparsed.get(2).asFloat64(), -0.15);
    EXPECT_EQ(reparsed.get(4).asString(), "two words \"quoted\"");
    EXPECT_EQ(reparsed.get(6).asList()->get(0).asString(), "set");
}

TEST_F(Parity, ImagesAndVectorsArriveIntact)
{
    BufferedPort<ImageOf<PixelRgb>> out;
    BufferedPort<ImageOf<PixelRgb>> in;
    in.setStrict();
    ASSERT_TRUE(out.open("/parity/cam:o"));
    ASSERT_TRUE(in.open("/parity/cam:i"));
    ASSERT_TRUE(NetworkBase::connect("/parity/cam:o", "/parity/cam:i"));
    for (int frame = 0; frame < 3; ++frame) {
        ImageOf<PixelRgb>& image = out.prepare();
        image.resize(320, 240);
        for (std::size_t y = 0; y < 240; ++y) {
            for (std::size_t x = 0; x < 320; ++x) {
                image.pixel(x, y) = PixelRgb{static_cast<unsigned char>(x + frame),
                                             static_cast<unsigned char>(y),
                                             static_cast<unsigned char>(x ^ y)};
            }
        }
        out.writeStrict();
    }
    for (int frame = 0; frame < 3; ++frame) {
        ImageOf<PixelRgb>* got = in.read(true);
        ASSERT_NE(got, nullptr);
        ASSERT_EQ(got->width(), 320u);
        ASSERT_EQ(got->height(), 240u);
        int wrong = 0;
        for (std::size_t y = 0; y < 240; ++y) {
            for (std::size_t x = 0; x < 320; ++x) {
                const PixelRgb& p = got->pixel(x, y);
                wrong += p.r != static_cast<unsigned char>(x + frame) || p.g != y
                         || p.b != static_cast<unsigned char>(x ^ y);
            }
        }
        EXPECT_EQ(wrong, 0) << "frame " << frame;
    }

    BufferedPort<yarp::sig::Vector> vout;
    BufferedPort<yarp::sig::Vector> vin;
    ASSERT_TRUE(vout.open("/parity/vector:o"));
    ASSERT_TRUE(vin.open("/parity/vector:i"));
    ASSERT_TRUE(NetworkBase::connect("/parity/vector:o", "/parity/vector:i"));
    yarp::sig::Vector& v = vout.prepare();
    v.resize(6);
    for (std::size_t i = 0; i < 6; ++i) {
        v[i] = -0.1 * static_cast<double>(i) + 1e-9;
    }
    vout.writeStrict();
    yarp::sig::Vector* vgot = vin.read(true);
    ASSERT_NE(vgot, nullptr);
    ASSERT_EQ(vgot->size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ((*vgot)[i], -0.1 * static_cast<double>(i) + 1e-9);
    }
}

TEST_F(Parity, ANonStrictReaderGetsTheNewestAndNeverBlocksWhenAskedNotTo)
{
    BufferedPort<Bottle> out;
    BufferedPort<Bottle> in;
    ASSERT_TRUE(out.open("/parity/latest:o"));
    ASSERT_TRUE(in.open("/parity/latest:i"));
    ASSERT_TRUE(NetworkBase::connect("/parity/latest:o", "/parity/latest:i"));
    EXPECT_EQ(in.read(false), nullptr) << "nothing sent yet";
    for (int i = 1; i <= 5; ++i) {
        out.prepare().fromString("frame " + std::to_string(i));
        out.writeStrict();
    }
    int last = 0;
    ASSERT_TRUE(poll_until([&] {
        if (Bottle* b = in.read(false)) {
            last = b->get(1).asInt32();
        }
        return last == 5;
    })) << "the newest item always arrives; older ones may be dropped";
    EXPECT_EQ(in.read(false), nullptr) << "an item is read once";
}

TEST_F(Parity, RequestsAreAnsweredAndTimeLimited)
{
    Server echo("/parity/echo", true);
    ASSERT_TRUE(echo.opened);
    Port client;
    ASSERT_TRUE(client.open("/parity/echo-client"));
    Bottle reply;
    ASSERT_TRUE(NetworkBase::connect("/parity/echo-client", "/parity/echo"));
    Bottle request("world get ball");
    request.addFloat64(0.25);
    ASSERT_TRUE(client.write(request, reply));
    ASSERT_EQ(reply.size(), 4u);
    EXPECT_EQ(reply.get(2).asString(), "ball");
    EXPECT_EQ(reply.get(3).asFloat64(), 0.25);

    // A server that accepts the request and never answers: the timeout ends the wait.
    Server silent("/parity/silent", false);
    ASSERT_TRUE(silent.opened);
    // The timeout is set before connecting: YARP applies it to the connections made after it.
    Port waiting;
    ASSERT_TRUE(waiting.open("/parity/silent-client"));
    waiting.setTimeout(0.5f);
    ASSERT_TRUE(NetworkBase::connect("/parity/silent-client", "/parity/silent"));
    const auto start = SteadyClock::now();
    EXPECT_FALSE(waiting.write(Bottle("anyone"), reply));
    EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(20)) << "bounded by the timeout";
}

TEST_F(Parity, InterruptReleasesABlockedReader)
{
    BufferedPort<Bottle> in;
    ASSERT_TRUE(in.open("/parity/interrupted"));
    auto reader = std::async(std::launch::async, [&] { return in.read(true); });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    in.interrupt();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(reader.get(), nullptr);
    in.close();
}

}  // namespace
