// The registration watch against a name server of its own making: a restart is seen once,
// when the server is back and knows nothing; a server that is down, or a canary that could not
// register at the program's start, is no restart.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "core/registration_watch.h"
#include "support/wait.h"

namespace {

using namespace std::chrono_literals;

/// What the watch sees of a name server: whether it answers and whether it knows the canary.
struct FakeNameServer {
    std::atomic<bool> up{true};
    std::atomic<bool> knows_canary{false};
    std::atomic<int> registrations{0};   // attempts, refused or not
    std::atomic<int> checks{0};          // questions whether it knows the canary

    /// Killed and started again: up, and knowing nothing.
    void restart() { knows_canary = false; up = true; }
};

RegistrationWatch::Canary canary_of(const std::shared_ptr<FakeNameServer>& server) {
    return {[server] {
                ++server->checks;
                return server->up && server->knows_canary;
            },
            [server] {
                ++server->registrations;
                if (!server->up) return false;
                server->knows_canary = true;
                return true;
            }};
}

/// Waits until the watch has asked the server `more` further times whether it knows the canary.
bool checks_made(const FakeNameServer& server, int more) {
    const int target = server.checks + more;
    return ac_test::poll_until([&] { return server.checks >= target; });
}

/// Waits until the watch has made `more` further registration attempts.
bool attempts_made(const FakeNameServer& server, int more) {
    const int target = server.registrations + more;
    return ac_test::poll_until([&] { return server.registrations >= target; });
}

TEST(RegistrationWatch, SeesEachRestartOnceAndADownServerAsNone) {
    auto server = std::make_shared<FakeNameServer>();
    RegistrationWatch watch("registration_watch_test", canary_of(server), 5ms);
    ASSERT_TRUE(ac_test::poll_until([&] { return server->knows_canary.load(); }));
    EXPECT_EQ(watch.generation(), 0u);

    // Down: the canary is unknown and cannot register, however often it is tried.
    server->up = false;
    server->knows_canary = false;
    ASSERT_TRUE(attempts_made(*server, 3));
    EXPECT_EQ(watch.generation(), 0u);

    server->restart();
    ASSERT_TRUE(ac_test::poll_until([&] { return watch.generation() == 1u; }));
    // Known again: checks go on without another restart.
    const int after = server->registrations;
    ASSERT_TRUE(ac_test::poll_until([&] { return server->knows_canary.load(); }));
    ASSERT_TRUE(checks_made(*server, 10));
    EXPECT_EQ(server->registrations, after);
    EXPECT_EQ(watch.generation(), 1u);

    // Killed and started again at once: unknown, and registering works at the next check.
    server->knows_canary = false;
    ASSERT_TRUE(ac_test::poll_until([&] { return watch.generation() == 2u; }));
}

TEST(RegistrationWatch, AStartWhileTheServerIsDownIsNoRestart) {
    auto server = std::make_shared<FakeNameServer>();
    server->up = false;
    RegistrationWatch watch("registration_watch_test", canary_of(server), 5ms);
    ASSERT_TRUE(attempts_made(*server, 3));
    server->up = true;
    ASSERT_TRUE(ac_test::poll_until([&] { return server->knows_canary.load(); }));
    ASSERT_TRUE(checks_made(*server, 10));
    EXPECT_EQ(watch.generation(), 0u);
}

TEST(RegistrationWatch, StopJoinsAndLetsTheCanaryGo) {
    auto server = std::make_shared<FakeNameServer>();
    RegistrationWatch watch("registration_watch_test", canary_of(server), 5ms);
    ASSERT_TRUE(ac_test::poll_until([&] { return server->knows_canary.load(); }));
    watch.stop();
    EXPECT_EQ(server.use_count(), 1);   // the canary's calls held the other references
    watch.stop();   // again: nothing happens
}

}  // namespace
