// Value types in the Space: the first write fixes a key's type and other types are refused
// with one line; atomic read-modify-write; bad validity; the configuration records.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/agentspace.h"
#include "test_support.h"

using core_test::Watcher;

namespace {

using Vec = std::vector<double>;

int lines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

TEST(SpaceTypes, OtherTypeIsRefusedWithOneLineAndChangesNothing) {
    Space space;
    Watcher w;
    space.write("head_enc", Vec{1, 2, 3, 4, 5, 6}, 0, 1.0f);
    space.trigger_attach("head_enc", &w.proxy, 1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(space.read("head_enc", 7.0), 7.0);           // read: the fallback
    space.write("head_enc", 3.0, 0, 100.0f);                // write: nothing changes...
    space.write("head_enc", std::string("x"), 0, 100.0f);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(space.read("head_enc", 7.0), 7.0);  // no flood
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(lines(out), 3) << out;
    EXPECT_NE(out.find("read of \"head_enc\" as double refused"), std::string::npos) << out;
    EXPECT_NE(out.find("std::vector<double"), std::string::npos) << out;
    EXPECT_FALSE(w.woke()) << "a refused type woke the watchers";  // ...and wakes nobody
    EXPECT_EQ(space.read("head_enc", Vec{}), (Vec{1, 2, 3, 4, 5, 6}));
}

TEST(SpaceTypes, SharedPointerValuesKeepTheirObjectAlive) {
    // The camera image travels as a shared pointer: a reader's copy outlives the writer's.
    Space space;
    auto image = std::make_shared<const Vec>(Vec{42});
    std::weak_ptr<const Vec> watch = image;
    space.write("leftImage", image, 0, 1.0f);
    auto held = space.read("leftImage", std::shared_ptr<const Vec>());
    image.reset();
    space.write("leftImage", std::make_shared<const Vec>(Vec{43}), 0, 1.0f);
    ASSERT_TRUE(held);
    EXPECT_EQ((*held)[0], 42.0);
    held.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(SpaceValidity, NegativeValidityIsRefused) {
    Space space;
    space.write("k", 1, 0, 1.0f);
    testing::internal::CaptureStdout();
    space.write("k", 2, -5, 1.0f);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(lines(out), 1) << out;
    EXPECT_EQ(space.read("k", 0), 1);
}

TEST(SpaceModify, IncrementsFromManyThreadsAreNeverLost) {
    // A read followed by a write from two threads could both read n and both write n + 1;
    // modify holds the lock across both.
    Space space;
    constexpr int kThreads = 4, kEach = 2000;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            for (int k = 0; k < kEach; ++k) space.modify("count", 0, [](int& n) { ++n; }, 0, 1.0f);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(space.read("count", -1), kThreads * kEach);
}

TEST(SpaceModify, FollowsThePriorityRuleAndStartsFromTheFallback) {
    Space space;
    Watcher w;
    space.trigger_attach("head_vel", &w.proxy, 1);
    // Missing key: fn sees the fallback.
    space.modify("head_vel", Vec{0, 0}, [](Vec& v) { v[1] = 5; }, 0, 10.0f);
    EXPECT_EQ(space.read("head_vel", Vec{}), (Vec{0, 5}));
    EXPECT_TRUE(w.woke());
    // Lower priority while valid: refused, yet the watchers hear of it.
    space.modify("head_vel", Vec{}, [](Vec& v) { v[0] = 9; }, 0, 1.0f);
    EXPECT_EQ(space.read("head_vel", Vec{}), (Vec{0, 5}));
    EXPECT_TRUE(w.woke());
    // Another type: refused, fn never runs, nobody is woken.
    bool ran = false;
    testing::internal::CaptureStdout();
    space.modify("head_vel", 0.0, [&](double&) { ran = true; }, 0, 100.0f);
    EXPECT_EQ(lines(testing::internal::GetCapturedStdout()), 1);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(w.woke());
}

TEST(ConfigurationRecords, StartEmptyAndCopyMemberByMember) {
    const SensorBlock fresh;
    EXPECT_TRUE(fresh.name.empty() && fresh.local_port.empty() && fresh.remote_port.empty() &&
                fresh.data_key.empty() && fresh.command.empty());
    EXPECT_EQ(fresh.delay_ms, 0);
    EXPECT_EQ(fresh.period_ms, 0);
    EXPECT_EQ(PositionBlock().period_ms, 0);
    EXPECT_EQ(AgentBlock().delay_ms, 0);

    SensorBlock s;
    s.name = "left camera";
    s.local_port = "/local/cam";
    s.remote_port = "/icubSim/cam/left";
    s.data_key = "leftImage";
    s.command = "get";
    s.delay_ms = 100;
    s.period_ms = 100;
    Space space;
    space.write("leConfig", s, 0, 1.0f);
    const SensorBlock back = space.read("leConfig", SensorBlock());
    EXPECT_EQ(back.name, s.name);
    EXPECT_EQ(back.remote_port, s.remote_port);
    EXPECT_EQ(back.command, s.command);
    EXPECT_EQ(back.period_ms, 100);
    // A configuration key of another record type is refused like any other type.
    testing::internal::CaptureStdout();
    EXPECT_EQ(space.read("leConfig", AgentBlock()).name, "");
    EXPECT_EQ(lines(testing::internal::GetCapturedStdout()), 1);
}

}  // namespace
