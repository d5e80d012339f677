// The time arithmetic behind every deadline and validity period, checked to the nanosecond.
#include <gtest/gtest.h>

#include <sstream>

#include "core/timer.h"

namespace {

timespec at(time_t s, long ns) { return timespec{s, ns}; }

void expect_time(const timespec& t, time_t s, long ns) {
    EXPECT_EQ(t.tv_sec, s);
    EXPECT_EQ(t.tv_nsec, ns);
}

TEST(FirstDeadline, WholeSecondAlignmentAnchorsAtTheCurrentSecond) {
    // Agent timers (align 1000): the grid starts at the current whole second.
    expect_time(Timer::first_deadline(at(12, 345000000), 1000, 1000), 13, 0);
    // The delay may be shorter than the part of the second already gone: already overdue.
    expect_time(Timer::first_deadline(at(12, 345000000), 100, 1000), 12, 100000000);
    expect_time(Timer::first_deadline(at(12, 0), 0, 1000), 12, 0);
}

TEST(FirstDeadline, SubSecondGridRaisesTheNanosecondsWithCarry) {
    expect_time(Timer::first_deadline(at(12, 345678000), 20, 20), 12, 380000000);
    // Raised to exactly one whole second, then carried by the delay.
    expect_time(Timer::first_deadline(at(12, 990500000), 20, 20), 13, 20000000);
    // Already on the grid: unchanged.
    expect_time(Timer::first_deadline(at(12, 360000000), 20, 20), 12, 380000000);
    expect_time(Timer::first_deadline(at(12, 999999999), 0, 20), 13, 0);
}

TEST(FirstDeadline, MultiSecondGridAndNoAlignment) {
    // align 2000: the seconds rise to the next even second, the nanoseconds drop.
    expect_time(Timer::first_deadline(at(13, 400000000), 0, 2000), 14, 0);
    expect_time(Timer::first_deadline(at(14, 400000000), 0, 2000), 14, 0);
    // align 1500: the whole-second part wins; the sub-second grid is discarded.
    expect_time(Timer::first_deadline(at(12, 345000000), 0, 1500), 12, 0);
    // align 0 or negative: now plus delay.
    expect_time(Timer::first_deadline(at(12, 345678901), 500, 0), 12, 845678901);
    expect_time(Timer::first_deadline(at(12, 745678901), 500, -5), 13, 245678901);
}

TEST(IncTime, CarriesWholeSecondsOutOfTheNanoseconds) {
    timespec t = at(12, 999999999);
    Timer::inc_time(&t, 1);
    expect_time(t, 13, 999999);
    t = at(12, 999999999);
    Timer::inc_time(&t, 1500);
    expect_time(t, 14, 499999999);
    t = at(12, 0);
    Timer::inc_time(&t, 0);
    expect_time(t, 12, 0);
    // Moving back borrows instead of leaving negative nanoseconds.
    t = at(13, 100);
    Timer::inc_time(&t, -1);
    expect_time(t, 12, 999000100);
}

TEST(CmpTime, IsNotLaterThan) {
    const timespec a = at(13, 0), b = at(13, 1), c = at(12, 999999999);
    EXPECT_TRUE(Timer::cmp_time(&a, &a));
    EXPECT_TRUE(Timer::cmp_time(&a, &b));
    EXPECT_FALSE(Timer::cmp_time(&b, &a));
    EXPECT_TRUE(Timer::cmp_time(&c, &a));
    EXPECT_FALSE(Timer::cmp_time(&a, &c));
}

TEST(TimerOrdering, EarliestDeadlineOnTopOfTheQueue) {
    Monitor m;
    Proxy p(m);
    Timer late(p), early(p), same(p);
    *late.getTiming() = at(13, 200000000);
    *early.getTiming() = at(13, 100000000);
    *same.getTiming() = at(13, 100000000);
    EXPECT_TRUE(late < early);
    EXPECT_FALSE(early < late);
    EXPECT_TRUE(early == same);
    EXPECT_FALSE(early < same);
    EXPECT_TRUE(CompareTimer()(&late, &early));

    std::ostringstream out;
    out << early;
    EXPECT_EQ(out.str(), "Timer " + std::to_string(early.tid()) + " 13 : 100000000");
    // Fresh timers are idle.
    EXPECT_FALSE(late.isActive());
    EXPECT_FALSE(late.isCyclic());
}

}  // namespace
