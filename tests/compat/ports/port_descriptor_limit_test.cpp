// A port process short of file descriptors: connections that end give theirs back at once,
// the port keeps serving once they do, and no peer can make one port hold more than its cap
// of connections. The port runs in a helper process with a lowered descriptor limit.
#include "port_test_support.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

using namespace yarp::os;
using ports_test::Child;
using ports_test::helperPath;
using ac_test::poll_until;
using ports_test::rawConnect;

namespace {

/// `count` data connections to `port`, held open (a peer that never sends anything more).
std::vector<int> holdConnections(const std::string& port, int count)
{
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = rawConnect(port);
        if (fd >= 0) {
            ports_test::helloFrom(fd, "/fd/holder", port);
            fds.push_back(fd);
        }
    }
    return fds;
}

void closeAll(std::vector<int>& fds)
{
    for (int fd : fds) {
        ::close(fd);
    }
    fds.clear();
}

/// True once a request to `port` is answered (through a fresh connection each try).
bool answers(Port& client, const std::string& port)
{
    return poll_until(
        [&] {
            if (!NetworkBase::connect(client.getName(), port)) {
                return false;
            }
            Bottle reply;
            return client.write(Bottle("still there"), reply) && reply.toString() == "echo still there";
        },
        std::chrono::seconds(60));
}

} // namespace

TEST(PortDescriptorLimit, APortOutOfDescriptorsServesAgainOnceConnectionsEnd)
{
    Child server({helperPath(), "echo-server", "/fd/server", "48"});
    ASSERT_TRUE(server.started());
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/fd/server"); }));
    Port client;
    ASSERT_TRUE(client.open("/fd/client"));
    client.setTimeout(30.0f);

    for (int round = 0; round < 2; ++round) {
        // Far more connections than the server has descriptors; the rest wait in the queue.
        std::vector<int> held = holdConnections("/fd/server", 120);
        ASSERT_EQ(held.size(), 120u) << "round " << round;
        closeAll(held);
        EXPECT_TRUE(answers(client, "/fd/server")) << "round " << round;
        NetworkBase::disconnect("/fd/client", "/fd/server");
    }
}

TEST(PortDescriptorLimit, APortServesAtMostItsCapOfConnections)
{
    Child server({helperPath(), "echo-server", "/fd/capped"});
    ASSERT_TRUE(server.started());
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/fd/capped"); }));

    std::vector<int> held = holdConnections("/fd/capped", 100);
    ASSERT_EQ(held.size(), 100u);
    int accepted = 0;
    int refused = 0;
    for (int fd : held) {
        timeval wait{60, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char accept[24];
        const ssize_t n = ::recv(fd, accept, sizeof accept, MSG_WAITALL);
        (n == static_cast<ssize_t>(sizeof accept) ? accepted : refused) += 1;
    }
    EXPECT_EQ(accepted, 64);
    EXPECT_EQ(refused, 36);

    closeAll(held);
    Port client;
    ASSERT_TRUE(client.open("/fd/capped-client"));
    client.setTimeout(30.0f);
    EXPECT_TRUE(answers(client, "/fd/capped"));
}
