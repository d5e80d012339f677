// Registry files are never followed through a symbolic link: a link planted in the registry
// in place of an entry is replaced, never written through, and never taken for a port.
#include "port_test_support.h"

#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace yarp::os;

namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The one registry file whose name ends with `suffix`, or "".
std::string entryEndingWith(const std::string& dir, const std::string& suffix)
{
    std::string found;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string file = e->d_name;
            if (file.size() > suffix.size() && file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0) {
                found = file;
            }
        }
        ::closedir(d);
    }
    return found;
}

} // namespace

TEST(PortRegistryLinks, PlantedLinksAreNeverFollowed)
{
    const std::string dir = std::getenv("AGENT_CONTROLLER_PORTS");
    ::mkdir(dir.c_str(), 0700);
    const std::string victim = dir + "-victim";
    std::ofstream(victim) << "precious\n";

    // As the lock file of a port.
    const std::string lock = dir + "/%2Flink%2Fport.lock";
    ::unlink(lock.c_str());
    ASSERT_EQ(::symlink(victim.c_str(), lock.c_str()), 0);
    Port port;
    EXPECT_TRUE(port.open("/link/port"));
    EXPECT_EQ(contents(victim), "precious\n");
    struct stat st{};
    ASSERT_EQ(::lstat(lock.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << "the link is replaced by a file of the port's own";

    // As the name file of a port whose name is too long to be its own key.
    const std::string longName = "/link/" + std::string(200, 'n');
    {
        Port first;
        ASSERT_TRUE(first.open(longName));
        const std::string nameFile = entryEndingWith(dir, ".name");
        ASSERT_FALSE(nameFile.empty());
        first.close();
        ASSERT_EQ(::symlink(victim.c_str(), (dir + "/" + nameFile).c_str()), 0);
    }
    Port named;
    EXPECT_TRUE(named.open(longName));
    EXPECT_EQ(contents(victim), "precious\n");
    EXPECT_TRUE(NetworkBase::exists(longName));

    // As a port's socket: a link to another port's socket is not a port.
    const std::string alias = dir + "/%2Flink%2Falias.sock";
    ::unlink(alias.c_str());
    ASSERT_EQ(::symlink((dir + "/%2Flink%2Fport.sock").c_str(), alias.c_str()), 0);
    EXPECT_TRUE(NetworkBase::exists("/link/port"));
    EXPECT_FALSE(NetworkBase::exists("/link/alias"));

    // As the registry directory itself.
    const std::string linkedDir = dir + "-link";
    ::unlink(linkedDir.c_str());
    ASSERT_EQ(::symlink(dir.c_str(), linkedDir.c_str()), 0);
    ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", linkedDir.c_str(), 1), 0);
    {
        ports_test::StderrCapture stderrText;
        Port other;
        EXPECT_FALSE(other.open("/link/other"));
        EXPECT_EQ(ac_test::lines_containing(stderrText.text(), linkedDir), 1);
    }
    ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", dir.c_str(), 1), 0);
    ::unlink(linkedDir.c_str());
    ::unlink(victim.c_str());
}
