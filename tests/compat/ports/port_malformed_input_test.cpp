// A port faced with a peer that speaks garbage: it drops that connection and keeps serving
// everyone else. The peer here is a raw socket that knows the registry's file layout.
#include "port_test_support.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace yarp::os;
using ports_test::closedByPeer;
using ports_test::helloFrom;
using ac_test::poll_until;
using ports_test::rawConnect;
using ports_test::sendBytes;
using ports_test::sendHeader;

TEST(PortMalformedInput, GarbageConnectionsAreDroppedAndThePortGoesOn)
{
    Port port;
    ASSERT_TRUE(port.open("/raw/target"));
    std::mt19937 random(1234);
    for (int round = 0; round < 20; ++round) {
        const int fd = rawConnect("/raw/target");
        ASSERT_GE(fd, 0);
        std::string noise(64 + random() % 512, '\0');
        for (auto& c : noise) {
            c = static_cast<char>(random());
        }
        sendBytes(fd, noise.data(), noise.size());
        EXPECT_TRUE(closedByPeer(fd)) << "round " << round;
        ::close(fd);
    }

    // Valid hello, then a frame claiming an absurd length, then one of an unknown kind.
    for (std::uint32_t kind : {3u, 99u}) {
        const int fd = rawConnect("/raw/target");
        ASSERT_GE(fd, 0);
        helloFrom(fd, "/raw/peer", "/raw/target");
        sendHeader(fd, kind, kind == 3 ? (std::uint64_t{1} << 40) : 4);
        EXPECT_TRUE(closedByPeer(fd));
        ::close(fd);
    }

    // A hello for another port is refused.
    {
        const int fd = rawConnect("/raw/target");
        ASSERT_GE(fd, 0);
        helloFrom(fd, "/raw/peer", "/raw/someone-else");
        EXPECT_TRUE(closedByPeer(fd));
        ::close(fd);
    }

    EXPECT_TRUE(poll_until([&] { return port.getInputCount() == 0; }));
    Port writer;
    ASSERT_TRUE(writer.open("/raw/writer"));
    ASSERT_TRUE(NetworkBase::connect("/raw/writer", "/raw/target"));
    EXPECT_TRUE(writer.write(Bottle("still here")));
    Bottle got;
    ASSERT_TRUE(port.read(got));
    EXPECT_EQ(got.toString(), "still here");
}

TEST(PortMalformedInput, AMessageThatDoesNotDecodeFailsOneReadOnly)
{
    Port port;
    ASSERT_TRUE(port.open("/raw/reader"));
    const int fd = rawConnect("/raw/reader");
    ASSERT_GE(fd, 0);
    helloFrom(fd, "/raw/peer", "/raw/reader");
    char accept[24];
    ASSERT_EQ(::recv(fd, accept, sizeof accept, MSG_WAITALL), 24);

    const char truncated[] = {1, 2, 3};
    sendHeader(fd, 3, sizeof truncated);
    sendBytes(fd, truncated, sizeof truncated);
    Bottle b;
    EXPECT_FALSE(port.read(b));
    EXPECT_EQ(b.size(), 0u);

    yarp::os::ConnectionWriter w;
    Bottle("fine now").write(w);
    sendHeader(fd, 3, w.bytes().size());
    sendBytes(fd, w.bytes().data(), w.bytes().size());
    ASSERT_TRUE(port.read(b));
    EXPECT_EQ(b.toString(), "fine now");
    ::close(fd);
}
