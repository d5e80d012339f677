// port_tool as an operator uses it: listing live ports only, sending a request, reading a
// stream, and refusing bad usage.
#include "port_test_support.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

using namespace yarp::os;
using ports_test::Child;
using ports_test::helperPath;
using ac_test::poll_until;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun portTool(const std::string& args)
{
    ToolRun run;
    // YARP_QUIET keeps an installed YARP's [INFO] lines (ports opened, connections made) out
    // of the output compared here; the bundled layer prints none.
    const std::string command = "YARP_QUIET=1 " + std::string(PORT_TOOL) + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        run.out.append(buf, n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(PortTool, HelpAndBadUsage)
{
    ToolRun help = portTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: port_tool"), std::string::npos);
    EXPECT_EQ(portTool("").status, 2);
    EXPECT_EQ(portTool("frobnicate").status, 2);
    EXPECT_EQ(portTool("connect /only-one").status, 2);
    EXPECT_EQ(portTool("read --count zero /x").status, 2);
}

TEST(PortTool, ListShowsLivePortsAndTheirConnectionsButNotStaleOnes)
{
    const std::string longName = "/tool/" + std::string(150, 'n');
    Port a;
    Port b;
    ASSERT_TRUE(a.open("/tool/a"));
    ASSERT_TRUE(b.open(longName));
    ASSERT_TRUE(NetworkBase::connect("/tool/a", longName));
    {
        Child dead({helperPath(), "hold", "/tool/dead"});
        ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/tool/dead"); }));
    } // killed: its entry stays behind, stale

    ToolRun list = portTool("list");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("/tool/a  (in 0, out 1) -> " + longName), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(longName + "  (in 1, out 0)"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("/tool/dead"), std::string::npos) << list.out;
}

TEST(PortTool, SendReadConnectAndDisconnect)
{
    Child echo({helperPath(), "echo-server", "/tool/echo"});
    Child stream({helperPath(), "vector-writer", "/tool/stream"});
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/tool/echo") && NetworkBase::exists("/tool/stream"); }));

    ToolRun sent = portTool("send /tool/echo world get lhand");
    EXPECT_EQ(sent.status, 0);
    EXPECT_EQ(sent.out, "echo world get lhand\n");
    EXPECT_EQ(portTool("send --timeout 1 /tool/absent hello").status, 1);

    ToolRun readOut = portTool("read --count 2 /tool/stream");
    EXPECT_EQ(readOut.status, 0);
    EXPECT_EQ(readOut.out.rfind("vector(1) ", 0), 0u) << readOut.out;

    // A buffered port takes in what arrives; a plain port that is never read keeps its
    // input thread waiting on a reader (on an installed YARP), so it never sees a disconnect.
    BufferedPort<Bottle> sink;
    ASSERT_TRUE(sink.open("/tool/sink"));
    EXPECT_EQ(portTool("connect /tool/stream /tool/sink").status, 0);
    EXPECT_TRUE(poll_until([&] { return sink.getInputCount() == 1; }));
    EXPECT_EQ(portTool("disconnect /tool/stream /tool/sink").status, 0);
    EXPECT_TRUE(poll_until([&] { return sink.getInputCount() == 0; }));
    EXPECT_EQ(portTool("disconnect /tool/stream /tool/sink").status, 1);
    EXPECT_EQ(portTool("exists /tool/sink").status, 0);
    EXPECT_EQ(portTool("exists /tool/nothing").status, 1);
}
