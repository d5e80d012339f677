// A port takes messages up to the size that fits what it carries. A larger frame costs its
// sender the connection (one diagnostic line), before the port waits for or stores its
// bytes, and the callers on other connections go on being answered.
#include "port_test_support.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/sig/Image.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <unistd.h>

using namespace yarp::os;
using ports_test::closedByPeer;
using ac_test::lines_containing;
using ports_test::helloFrom;
using ac_test::poll_until;
using ports_test::rawConnect;
using ports_test::sendBytes;
using ports_test::sendHeader;
using ports_test::StderrCapture;

namespace {

/// A request/reply server like the simulator's world port: one thread reads, answers with
/// the number of items the request held.
class CountingServer {
public:
    explicit CountingServer(const std::string& name)
    {
        opened_ = port_.open(name);
        thread_ = std::thread([this] {
            Bottle request;
            while (port_.read(request, true)) {
                Bottle answer;
                answer.addInt64(static_cast<std::int64_t>(request.size()));
                port_.reply(answer);
            }
        });
    }
    ~CountingServer()
    {
        port_.close();
        thread_.join();
    }
    bool opened() const { return opened_; }

private:
    Port port_;
    bool opened_ = false;
    std::thread thread_;
};

/// A bottle of small integers whose encoding is about `bytes` long (five bytes an item).
Bottle integers(std::size_t bytes)
{
    Bottle b;
    for (std::size_t i = 0; i < bytes / 5; ++i) {
        b.addInt32(static_cast<std::int32_t>(i));
    }
    return b;
}

} // namespace

TEST(PortMessageLimit, AnOversizedRequestCostsItsSenderTheConnectionWhileOthersAreAnswered)
{
    StderrCapture stderrText;
    CountingServer server("/limit/server");
    ASSERT_TRUE(server.opened());

    // A caller that keeps asking all along; every call is answered (generous timeout).
    Port caller;
    ASSERT_TRUE(caller.open("/limit/caller"));
    ASSERT_TRUE(NetworkBase::connect("/limit/caller", "/limit/server"));
    caller.setTimeout(60.0f);
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::atomic<int> unanswered{0};
    std::thread asking([&] {
        while (!stop) {
            Bottle reply;
            (caller.write(Bottle("world get ball"), reply) && reply.get(0).asInt64() == 3 ? answered : unanswered)++;
        }
    });

    // A hostile peer announces 100 MB and sends the first bytes: dropped at once, without
    // the port waiting for the rest. Twice from the same sender: one diagnostic line.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = rawConnect("/limit/server");
        ASSERT_GE(fd, 0);
        helloFrom(fd, "/limit/hostile", "/limit/server");
        sendHeader(fd, ports_test::requestFrame, std::uint64_t{100} << 20, 1);
        const std::string start(64 * 1024, '\0');
        sendBytes(fd, start.data(), start.size());
        EXPECT_TRUE(closedByPeer(fd));
        ::close(fd);
    }

    // Through the port API: a request over the limit fails for its sender only...
    Port big;
    ASSERT_TRUE(big.open("/limit/big"));
    ASSERT_TRUE(NetworkBase::connect("/limit/big", "/limit/server"));
    Bottle reply;
    EXPECT_FALSE(big.write(integers(2 << 20), reply));
    EXPECT_TRUE(poll_until([&] { return big.getOutputCount() == 0; }));
    // ...while one just under it is decoded and answered.
    ASSERT_TRUE(NetworkBase::connect("/limit/big", "/limit/server"));
    big.setTimeout(60.0f);
    const Bottle largest = integers((1 << 20) - 64);
    ASSERT_TRUE(big.write(largest, reply));
    EXPECT_EQ(reply.get(0).asInt64(), static_cast<std::int64_t>(largest.size()));

    const int before = answered.load();
    EXPECT_TRUE(poll_until([&] { return answered.load() >= before + 20; }));
    stop = true;
    asking.join();
    EXPECT_EQ(unanswered.load(), 0);

    const std::string text = stderrText.text();
    stderrText.restore();
    EXPECT_EQ(lines_containing(text, "/limit/hostile"), 1) << text;
    EXPECT_EQ(lines_containing(text, "exceeds the limit"), 2) << text; // the hostile peer and /limit/big
}

TEST(PortMessageLimit, ImagePortsTakeLargeImagesOtherPortsDoNot)
{
    // 1280x1024 RGB, 3.9 MB: more than a bottle port takes, well within an image port's limit.
    yarp::sig::ImageOf<yarp::sig::PixelRgb> image;
    image.resize(1280, 1024);
    ac_test::paint_frame(image, 7);

    BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> imageWriter;
    BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> imageReader;
    ASSERT_TRUE(imageWriter.open("/limit/image/out"));
    ASSERT_TRUE(imageReader.open("/limit/image/in"));
    ASSERT_TRUE(NetworkBase::connect("/limit/image/out", "/limit/image/in"));
    imageWriter.prepare() = image;
    imageWriter.writeStrict();
    auto* got = imageReader.read();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(ac_test::frame_of(*got), 7);

    StderrCapture quiet;
    BufferedPort<Bottle> bottleReader;
    ASSERT_TRUE(bottleReader.open("/limit/bottle/in"));
    ASSERT_TRUE(NetworkBase::connect("/limit/image/out", "/limit/bottle/in"));
    imageWriter.writeStrict();
    EXPECT_TRUE(poll_until([&] { return bottleReader.getInputCount() == 0 && imageWriter.getOutputCount() == 1; }));
    EXPECT_EQ(bottleReader.read(false), nullptr);
    EXPECT_EQ(lines_containing(quiet.text(), "exceeds the limit"), 1);
}
