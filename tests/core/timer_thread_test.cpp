// The timer thread: deadline order, drift-free cyclic timers, catch-up of overdue periods,
// stop, and no missed wake-up when a timer is queued while the thread prepares to sleep.
//
// Timers, their proxies and monitors are created on the heap and never freed: the timer
// thread keeps a pointer to a timer until its deadline, even after stop().
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "core/timer.h"
#include "support/wait.h"
#include "test_support.h"

using core_test::after_ms;
using core_test::ms_between;
using ac_test::poll_until;
using core_test::Watcher;

namespace {

struct TimedWatcher : Watcher {
    Timer timer{proxy};
};

TimedWatcher* make_timer() { return new TimedWatcher(); }  // intentionally never freed

// A queued timer's deadline may only be read under the queue lock.
timespec deadline_of(Timer& t) {
    TimerThread::p_sync->lock();
    const timespec d = *t.getTiming();
    TimerThread::p_sync->unlock();
    return d;
}

int64_t nanos_between(const timespec& a, const timespec& b) {
    return (int64_t(b.tv_sec) - a.tv_sec) * 1000000000LL + (int64_t(b.tv_nsec) - a.tv_nsec);
}

TEST(TimerFiring, OneShotFiresOnceAndNeverEarly) {
    TimedWatcher* w = make_timer();
    timespec called;
    Timer::get_time(&called);
    w->timer.start(300, 0, 0);
    ASSERT_TRUE(w->woke_within(5000));
    timespec now;
    Timer::get_time(&now);
    EXPECT_GE(ms_between(called, now), 300.0);
    EXPECT_FALSE(w->woke_within(500)) << "a one-shot timer was re-queued";
    EXPECT_EQ(w->proxy.triggers(), 1u);
}

TEST(TimerFiring, FiresInDeadlineOrderNotStartOrder) {
    TimedWatcher* late = make_timer();
    TimedWatcher* early = make_timer();
    const timespec t_late = after_ms(700), t_early = after_ms(150);
    late->timer.start(&t_late, 0);
    early->timer.start(&t_early, 0);
    ASSERT_TRUE(early->woke_within(5000));
    EXPECT_EQ(late->proxy.triggers(), 0u) << "the later deadline fired first";
    ASSERT_TRUE(late->woke_within(5000));
}

TEST(TimerFiring, AgentGridDeadlinesStayOnTheGrid) {
    // delay 100, period 500 on the whole-second grid: the first deadline (second + 100 ms)
    // may already be past and fires at once; every later one is 100 or 600 ms past a second.
    TimedWatcher* w = make_timer();
    w->timer.start(100, 500, 1000);
    ASSERT_TRUE(w->woke_within(5000));
    ASSERT_TRUE(w->woke_within(5000));
    const timespec next = deadline_of(w->timer);
    w->timer.stop();
    EXPECT_TRUE(next.tv_nsec == 100000000 || next.tv_nsec == 600000000) << next.tv_nsec;
}

TEST(TimerFiring, CyclicDeadlinesAdvanceFromThePreviousDeadline) {
    // Re-arming from the time of firing would add the firing latency at every period; the
    // deadlines must stay exactly on first + k * period.
    TimedWatcher* w = make_timer();
    const timespec first = after_ms(20);
    w->timer.start(&first, 30);
    ASSERT_TRUE(poll_until([&] { return w->proxy.triggers() >= 10; }));
    const timespec next = deadline_of(w->timer);
    w->timer.stop();
    const int64_t since_first = nanos_between(first, next);
    EXPECT_EQ(since_first % 30000000LL, 0) << "deadline drifted by " << since_first % 30000000LL
                                           << " ns";
    EXPECT_GE(since_first / 30000000LL, 10);
}

TEST(TimerFiring, OverdueCyclicTimerFiresOncePerOverduePeriod) {
    TimedWatcher* w = make_timer();
    const timespec first = after_ms(-1000);  // ten periods already overdue
    w->timer.start(&first, 100);
    timespec started;
    Timer::get_time(&started);
    // Catching up takes no real time: wait until the next deadline lies in the future.
    ASSERT_TRUE(poll_until([&] {
        timespec next = deadline_of(w->timer);
        return !Timer::cmp_time(&next, &started);
    }));
    const timespec next = deadline_of(w->timer);
    const unsigned long fired = w->proxy.triggers();
    w->timer.stop();
    const int64_t periods = nanos_between(first, next) / 100000000LL;
    EXPECT_EQ(nanos_between(first, next) % 100000000LL, 0);
    EXPECT_GE(periods, 10);
    // Every overdue period fired (one more may be in flight between firing and re-arming).
    EXPECT_GE(fired + 1, static_cast<unsigned long>(periods));
    EXPECT_LE(fired, static_cast<unsigned long>(periods));
}

TEST(TimerFiring, StopPreventsFurtherFiringsAndTheTimerCanStartAgainLater) {
    TimedWatcher* w = make_timer();
    w->timer.start(0, 20, 20);
    ASSERT_TRUE(poll_until([&] { return w->proxy.triggers() >= 3; }));
    w->timer.stop();
    const unsigned long at_stop = w->proxy.triggers();
    EXPECT_FALSE(w->timer.isActive());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // ten periods
    // A firing already taken off the queue when stop() came may still arrive; no more.
    EXPECT_LE(w->proxy.triggers(), at_stop + 1);

    // It has left the queue at its next deadline, so starting it again is accepted.
    const unsigned long before = w->proxy.triggers();
    w->timer.start(10, 0, 0);
    ASSERT_TRUE(poll_until([&] { return w->proxy.triggers() == before + 1; }));
}

TEST(TimerFiring, StartWhileStillQueuedIsRefused) {
    TimedWatcher* w = make_timer();
    const timespec far = after_ms(60000);
    w->timer.start(&far, 0);
    w->timer.stop();
    testing::internal::CaptureStdout();
    w->timer.start(10, 0, 0);  // still queued until its deadline: a second entry would corrupt it
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("still queued"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_FALSE(w->woke_within(200));
}

TEST(TimerFiring, EarlierTimerStartedWhileSleepingFiresAtItsOwnDeadline) {
    TimedWatcher* far = make_timer();
    const timespec far_at = after_ms(4000);
    far->timer.start(&far_at, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the thread sleeps towards it
    TimedWatcher* near = make_timer();
    near->timer.start(100, 0, 0);
    ASSERT_TRUE(near->woke_within(2000)) << "the earlier timer waited for the later deadline";
    EXPECT_EQ(far->proxy.triggers(), 0u);
    far->timer.stop();
}

TEST(TimerFiring, TimerQueuedWhileTheThreadPreparesToSleepIsNotMissed) {
    // Each round queues a far timer, which makes the timer thread look at its queue and go
    // to sleep towards it, and at once a near one, which lands in the window between that
    // look and the wait. A lost notification would hold the near timer for seconds.
    for (int round = 0; round < 200; ++round) {
        TimedWatcher* far = make_timer();
        TimedWatcher* near = make_timer();
        const timespec far_at = after_ms(5000);
        far->timer.start(&far_at, 0);
        far->timer.stop();  // leaves the queue silently at its deadline
        near->timer.start(2, 0, 0);
        ASSERT_TRUE(near->woke_within(2000)) << "round " << round;
    }
}

TEST(TimerStress, ConcurrentStartsAllFireExactlyOnceAndOnTime) {
    // Several threads start many one-shot timers at random moments and with random
    // deadlines (fixed seed) while others are pending; each timer must fire exactly once
    // and none may be held far past its deadline.
    constexpr int kThreads = 4, kBatches = 5, kPerBatch = 40;
    struct Entry {
        TimedWatcher* w;
        timespec deadline;
    };
    std::vector<std::vector<Entry>> started(kThreads);
    std::vector<std::thread> starters;
    for (int i = 0; i < kThreads; ++i) {
        starters.emplace_back([&, i] {
            std::mt19937 rng(1234 + i);
            std::uniform_int_distribution<int> delay_ms(1, 600), pause_ms(0, 60);
            for (int b = 0; b < kBatches; ++b) {
                for (int k = 0; k < kPerBatch; ++k) {
                    TimedWatcher* w = make_timer();
                    const timespec at = after_ms(delay_ms(rng));
                    w->timer.start(&at, 0);
                    started[i].push_back({w, at});
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms(rng)));
            }
        });
    }
    for (auto& t : starters) t.join();

    std::vector<Entry> all;
    for (auto& v : started) all.insert(all.end(), v.begin(), v.end());
    std::sort(all.begin(), all.end(), [](const Entry& a, const Entry& b) {
        return Timer::cmp_time(&a.deadline, &b.deadline) && !Timer::cmp_time(&b.deadline, &a.deadline);
    });
    // Waiting in deadline order; when the wait began before the deadline, the time it
    // returned past the deadline is the timer's lateness (plus one wake-up of this thread).
    std::vector<double> late_ms;
    for (const Entry& e : all) {
        timespec before;
        Timer::get_time(&before);
        ASSERT_TRUE(e.w->woke_within(10000)) << "a timer never fired";
        timespec now;
        Timer::get_time(&now);
        if (Timer::cmp_time(&before, &e.deadline)) late_ms.push_back(ms_between(e.deadline, now));
    }
    ASSERT_FALSE(late_ms.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (const Entry& e : all) EXPECT_EQ(e.w->proxy.triggers(), 1u);
    std::sort(late_ms.begin(), late_ms.end());
    std::printf("%zu timers, lateness of %zu measured: median %.3f ms, max %.3f ms\n",
                all.size(), late_ms.size(), late_ms[late_ms.size() / 2], late_ms.back());
    EXPECT_LT(late_ms.back(), 1000.0);
}

}  // namespace
