// Blocks and the Space's priority and validity rule: which write holds a key, when a value
// lapses, and that every write (refused or not) and every lapse wakes the watchers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/agentspace.h"
#include "support/wait.h"
#include "test_support.h"

using ac_test::poll_until;
using core_test::Watcher;

namespace {

using Vec = std::vector<double>;
const Vec kNone{};

TEST(BlockValidity, ZeroNeverLapsesAndExpiredMarkOverridesExpiry) {
    Block<int> b("k", 5);
    EXPECT_FALSE(b.isValid()) << "a block is not valid before its creating write settles it";
    b.expired = false;
    b.setValidity(0);
    EXPECT_TRUE(b.isValid());
    b.expired = true;
    EXPECT_FALSE(b.isValid());  // even though the expiry is zero

    b.expired = false;
    b.setValidity(300);
    EXPECT_TRUE(b.isValid());
    b.setValidity(1);
    EXPECT_TRUE(poll_until([&] { return !b.isValid(); }));
}

class SpaceRule : public ::testing::Test {
protected:
    Space space;
    Watcher watcher;
    void SetUp() override { space.trigger_attach("head_vel", &watcher.proxy, 1); }
    Vec value() { return space.read("head_vel", kNone); }
};

TEST_F(SpaceRule, LowerPriorityIsRefusedWhileValidButStillWakesAndRestartsValidity) {
    space.write("head_vel", Vec{1}, 0, 100.0f);  // never lapses on its own
    EXPECT_TRUE(watcher.woke());
    space.write("head_vel", Vec{2}, 1, 1.0f);  // refused...
    EXPECT_EQ(value(), Vec{1});
    EXPECT_TRUE(watcher.woke()) << "a refused write must still wake the watchers";
    // ...but the value in force now lapses after the refused write's own 1 ms.
    ASSERT_TRUE(poll_until([&] { return value().empty(); }));
    EXPECT_EQ(watcher.proxy.triggers(), 2u);  // lapsing wakes nobody while no scan runs
}

TEST_F(SpaceRule, LapsedValueIsReplacedAndTakesTheLowerPriority) {
    space.write("head_vel", Vec{1}, 1, 100.0f);
    ASSERT_TRUE(poll_until([&] { return value().empty(); }));
    space.write("head_vel", Vec{2}, 0, 1.0f);
    EXPECT_EQ(value(), Vec{2});
    space.write("head_vel", Vec{3}, 0, 1.0f);  // equal priority replaces
    EXPECT_EQ(value(), Vec{3});
    space.write("head_vel", Vec{4}, 0, 0.5f);  // lower, while valid for ever: refused
    EXPECT_EQ(value(), Vec{3});
    space.write("head_vel", Vec{5}, 0, 10.0f);
    EXPECT_EQ(value(), Vec{5});
    EXPECT_EQ(watcher.proxy.triggers(), 5u);
}

TEST_F(SpaceRule, TrackingCommandHoldsTheKeyUntilItLapses) {
    // The gaze agents' pattern: a 300 ms tracking command at priority 100 shuts out the
    // search agent's priority-1 writes while it is valid, not afterwards.
    space.write("head_vel", Vec{1}, 300, 100.0f);
    space.write("head_vel", Vec{9}, 0, 1.0f);  // refused, and the value now never lapses
    EXPECT_EQ(value(), Vec{1});
    space.write("head_vel", Vec{9}, 1, 1.0f);  // refused, lapses 1 ms from now
    ASSERT_TRUE(poll_until([&] { return value().empty(); }));
    space.write("head_vel", Vec{9}, 250, 1.0f);
    EXPECT_EQ(value(), Vec{9});
}

TEST(SpaceReads, MissingKeyGivesTheFallbackAndCreatesNothing) {
    Space space;
    Watcher w;
    EXPECT_EQ(space.read("ballPos", Vec{7}), Vec{7});
    // Had the read created an entry, a write of another type would now be refused, and the
    // exact registration would have attached to it instead of waiting for the first write.
    space.trigger_attach("ballPos", &w.proxy, 1);
    EXPECT_FALSE(w.woke());
    space.write("ballPos", std::string("first"), 0, 1.0f);
    EXPECT_TRUE(w.woke());
    EXPECT_EQ(space.read("ballPos", std::string()), "first");
}

TEST(SpaceExpiryScan, WakesWatchersOncePerLapse) {
    // A private Space with its scan running. Neither it nor the watcher is ever destroyed:
    // the scan runs until the process ends.
    Space* space = new Space();
    ASSERT_EQ(space->start(nullptr), 0);
    Watcher& w = *new Watcher();
    space->trigger_attach("head_vel", &w.proxy, 1);
    timespec written, reported;
    Timer::get_time(&written);
    space->write("head_vel", Vec{1}, 100, 1.0f);
    ASSERT_TRUE(w.woke());
    ASSERT_TRUE(w.woke_within(5000)) << "the lapse was never reported";
    Timer::get_time(&reported);
    std::printf("100 ms value reported lapsed after %.1f ms\n",
                core_test::ms_between(written, reported));
    EXPECT_GE(core_test::ms_between(written, reported), 100.0);
    EXPECT_EQ(w.proxy.triggers(), 2u);
    EXPECT_EQ(space->read("head_vel", kNone), kNone);
    EXPECT_FALSE(w.woke_within(200)) << "a lapse was reported twice";

    space->write("head_vel", Vec{2}, 50, 1.0f);
    ASSERT_TRUE(w.woke());
    ASSERT_TRUE(w.woke_within(5000));
    EXPECT_EQ(w.proxy.triggers(), 4u);
    EXPECT_FALSE(w.woke_within(100));
    // Values that never lapse are left alone.
    space->write("head_vel", Vec{3}, 0, 1.0f);
    ASSERT_TRUE(w.woke());
    EXPECT_FALSE(w.woke_within(100));
}

}  // namespace
