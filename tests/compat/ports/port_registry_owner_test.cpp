// Another local user cannot take over a port name: entries another uid planted in a registry
// left open to all are ignored, a client sends nothing to a socket served by another uid,
// and a registry directory of another user is refused. Planting as another user needs root.
#include "port_test_support.h"

#include <yarp/os/Network.h>
#include <yarp/os/Port.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace yarp::os;

namespace {

constexpr uid_t kOtherUid = 65534; // nobody
constexpr gid_t kOtherGid = 65534;

int listenAt(const char* path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path, sizeof addr.sun_path - 1);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0) {
        return -1;
    }
    return s;
}

/// Registry entries the other user plants (paths made before fork(): the child allocates nothing).
struct Planted {
    std::string lock, portSocket, peerSocket;
};

/// Child process, as another user: holds the lock of /owner/port (claiming pid 666), serves
/// its socket and that of /owner/peer, and writes 'd' to `report` when a connection to
/// either sends it anything. Writes 'r' once set up, 'x' on failure.
[[noreturn]] void plantAsAnotherUser(const Planted& files, int report)
{
    if (::setgid(kOtherGid) != 0 || ::setuid(kOtherUid) != 0) {
        (void)!::write(report, "x", 1);
        ::_exit(1);
    }
    const int lock = ::open(files.lock.c_str(), O_RDWR | O_CREAT, 0644);
    const int port = listenAt(files.portSocket.c_str());
    const int peer = listenAt(files.peerSocket.c_str());
    if (lock < 0 || port < 0 || peer < 0 || ::write(lock, "666", 3) != 3 || ::flock(lock, LOCK_EX) != 0) {
        (void)!::write(report, "x", 1);
        ::_exit(1);
    }
    (void)!::write(report, "r", 1);
    for (;;) {
        pollfd fds[2] = {{port, POLLIN, 0}, {peer, POLLIN, 0}};
        ::poll(fds, 2, -1);
        for (const pollfd& p : fds) {
            if (p.revents & POLLIN) {
                const int c = ::accept(p.fd, nullptr, nullptr);
                char byte = 0;
                if (c >= 0 && ::read(c, &byte, 1) == 1) {
                    (void)!::write(report, "d", 1);
                }
                ::close(c);
            }
        }
    }
}

/// What the planting child reported so far.
std::string reports(int fd)
{
    std::string text;
    char c = 0;
    while (::read(fd, &c, 1) == 1) {
        text += c;
    }
    return text;
}

} // namespace

TEST(PortRegistryOwner, EntriesOfAnotherUserAreNotTrusted)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "planting entries as another user needs root (to switch to uid 65534)";
    }
    const std::string saved = std::getenv("AGENT_CONTROLLER_PORTS");
    char base[] = "/tmp/ac-owner-XXXXXX";
    ASSERT_NE(::mkdtemp(base), nullptr);
    ASSERT_EQ(::chmod(base, 0755), 0);
    // A registry left open to everybody.
    const std::string shared = std::string(base) + "/shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);

    const Planted files{shared + "/%2Fowner%2Fport.lock", shared + "/%2Fowner%2Fport.sock",
                        shared + "/%2Fowner%2Fpeer.sock"};
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const pid_t planter = ::fork(); // before this process starts any thread
    ASSERT_GE(planter, 0);
    if (planter == 0) {
        plantAsAnotherUser(files, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    char ready = 0;
    ASSERT_EQ(::read(pipeFds[0], &ready, 1), 1);
    ASSERT_EQ(ready, 'r');
    ASSERT_EQ(::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK), 0);
    // Another user's socket made to look like one of ours: only the peer check tells.
    ASSERT_EQ(::lchown(files.peerSocket.c_str(), 0, 0), 0);

    ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", shared.c_str(), 1), 0);
    EXPECT_FALSE(NetworkBase::exists("/owner/port"));
    EXPECT_FALSE(NetworkBase::exists("/owner/peer"));
    Port mine;
    EXPECT_TRUE(mine.open("/owner/port")) << "the planted lock, held by the other user, must not block the name";
    struct stat st{};
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "the registry is made private before use";
    Port client;
    ASSERT_TRUE(client.open("/owner/client"));
    EXPECT_TRUE(NetworkBase::connect("/owner/client", "/owner/port"));
    EXPECT_FALSE(NetworkBase::connect("/owner/client", "/owner/peer"));
    client.close();
    mine.close();
    ::kill(planter, SIGKILL);
    ::waitpid(planter, nullptr, 0);
    EXPECT_EQ(reports(pipeFds[0]), "") << "nothing may be sent to the other user's sockets";
    ::close(pipeFds[0]);

    // A registry directory that belongs to another user is refused, naming it and the fix.
    const std::string others = std::string(base) + "/others";
    ASSERT_EQ(::mkdir(others.c_str(), 0700), 0);
    ASSERT_EQ(::chown(others.c_str(), kOtherUid, kOtherGid), 0);
    ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", others.c_str(), 1), 0);
    {
        ports_test::StderrCapture stderrText;
        Port refused;
        EXPECT_FALSE(refused.open("/owner/refused"));
        const std::string text = stderrText.text();
        EXPECT_NE(text.find(others), std::string::npos) << text;
        EXPECT_NE(text.find("AGENT_CONTROLLER_PORTS"), std::string::npos) << text;
    }
    ASSERT_EQ(::setenv("AGENT_CONTROLLER_PORTS", saved.c_str(), 1), 0);
    std::filesystem::remove_all(base);
}
