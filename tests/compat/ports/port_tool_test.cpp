// port_tool as an operator uses it: listing live ports only, sending a request, reading a
// stream, and refusing bad usage.
#include "port_test_support.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace yarp::os;
using ports_test::Child;
using ports_test::helperPath;
using ac_test::poll_until;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
};

/// Runs port_tool with the words of `args` and waits (bounded) for it to end.
ToolRun portTool(const std::string& args)
{
    // YARP_QUIET keeps an installed YARP's [INFO] lines (ports opened, connections made) out
    // of the output compared here; the bundled layer prints none.
    std::vector<std::string> command{"/usr/bin/env", "YARP_QUIET=1", PORT_TOOL};
    std::istringstream words(args);
    for (std::string word; words >> word;) {
        command.push_back(word);
    }
    ac_test::ChildProcess tool(command, ac_test::ChildProcess::Output::captured_with_errors);
    ToolRun run;
    run.status = ac_test::exit_code(tool.wait_for_exit());
    run.out = tool.output();
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
