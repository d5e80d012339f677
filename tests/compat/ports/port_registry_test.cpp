// Naming of ports: the registry refuses a name held by a live port, reclaims the entries a
// killed process left, and copes with names and registry paths too long for a socket address.
#include "port_test_support.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace yarp::os;
using ports_test::Child;
using ports_test::helperPath;
using ac_test::poll_until;

TEST(PortRegistry, NameIsHeldWhileOpenAndFreeAfterClose)
{
    Port first;
    ASSERT_TRUE(first.open("/registry/held"));
    EXPECT_EQ(first.getName(), "/registry/held");
    EXPECT_TRUE(NetworkBase::exists("/registry/held"));

    Port second;
    EXPECT_FALSE(second.open("/registry/held")) << "a live name must not be taken twice";
    EXPECT_TRUE(NetworkBase::exists("/registry/held")) << "the failed open must not disturb the owner";

    first.close();
    EXPECT_FALSE(NetworkBase::exists("/registry/held"));
    EXPECT_TRUE(second.open("/registry/held"));
    first.close(); // closing twice is harmless
    EXPECT_TRUE(NetworkBase::exists("/registry/held"));
}

TEST(PortRegistry, MalformedNamesAreRefused)
{
    for (const char* bad : {"", "/", "no-slash", "/with space", "/tab\there", "/new\nline"}) {
        Port port;
        EXPECT_FALSE(port.open(bad)) << "name: " << bad;
        EXPECT_FALSE(NetworkBase::exists(bad));
    }
    EXPECT_FALSE(NetworkBase::connect("/absent/a", "/absent/b"));
    EXPECT_FALSE(NetworkBase::disconnect("/absent/a", "/absent/b"));
}

TEST(PortRegistry, RegistryDirectoryIsPrivateAndOurOwn)
{
    const std::string saved = std::getenv("AGENT_CONTROLLER_PORTS");
    EXPECT_TRUE(NetworkBase::checkNetwork());

    // A directory readable by others is made private before use.
    const std::string loose = saved + "/loose";
    ::mkdir(loose.c_str(), 0755); // may be left from an earlier run
    ASSERT_EQ(::chmod(loose.c_str(), 0755), 0);
    ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", loose.c_str(), 1), 0);
    {
        Port port;
        ASSERT_TRUE(port.open("/registry/private"));
        struct stat st{};
        ASSERT_EQ(::stat(loose.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }

    // A directory of another user is refused: its owner could read or replace our sockets.
    const std::string foreign = saved + "/foreign";
    ::mkdir(foreign.c_str(), 0700);
    if (::chown(foreign.c_str(), 65534, 65534) == 0) {
        ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", foreign.c_str(), 1), 0);
        Port port;
        EXPECT_FALSE(port.open("/registry/foreign"));
        EXPECT_FALSE(NetworkBase::checkNetwork());
    }
    ::setenv("AGENT_CONTROLLER_PORTS", saved.c_str(), 1);
}

TEST(PortRegistry, LongNamesAndLongRegistryPathsWork)
{
    // A registry path and port names longer than a socket address can hold.
    const std::string saved = std::getenv("AGENT_CONTROLLER_PORTS");
    const std::string longDir = saved + "/" + std::string(120, 'd');
    ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", longDir.c_str(), 1), 0);
    {
        const std::string a = "/long/" + std::string(300, 'a');
        const std::string b = "/long/" + std::string(300, 'a') + "b"; // same long prefix
        Port out;
        Port in;
        ASSERT_TRUE(out.open(a));
        ASSERT_TRUE(in.open(b));
        Port clash;
        EXPECT_FALSE(clash.open(a));
        ASSERT_TRUE(NetworkBase::connect(a, b));
        EXPECT_EQ(in.getInputCount(), 1);

        Bottle sent("hello 42");
        EXPECT_TRUE(out.write(sent));
        Bottle got;
        ASSERT_TRUE(in.read(got));
        EXPECT_EQ(got.toString(), "hello 42");
    }
    ::setenv("AGENT_CONTROLLER_PORTS", saved.c_str(), 1);
}

TEST(PortRegistry, PortsOfAKilledProcessAreReclaimed)
{
    Child holder({helperPath(), "hold", "/registry/victim/a", "/registry/victim/b"});
    ASSERT_TRUE(holder.started());
    ASSERT_TRUE(poll_until([] { return NetworkBase::exists("/registry/victim/b"); }));

    Port port;
    EXPECT_FALSE(port.open("/registry/victim/a")) << "the name is held by a live process";

    holder.kill(); // no chance to clean up its registry entries
    EXPECT_FALSE(NetworkBase::exists("/registry/victim/a"));
    EXPECT_TRUE(port.open("/registry/victim/a"));
    Port other;
    EXPECT_TRUE(other.open("/registry/victim/b"));
    EXPECT_TRUE(NetworkBase::connect("/registry/victim/a", "/registry/victim/b"));
}
