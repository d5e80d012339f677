// Threads, monitors and proxies: numbering, start-once, and the edge-like wake-up semantics
// (no backlog, last notifier wins, no spurious reports) that every agent relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "core/thread.h"
#include "core/timer.h"
#include "support/wait.h"
#include "test_support.h"

using core_test::after_ms;
using ac_test::poll_until;

namespace {

class CountingThread : public Thread {
public:
    void run(void* arg) override {
        arg_seen = arg;
        runs.fetch_add(1);
    }
    std::atomic<int> runs{0};
    void* arg_seen = nullptr;
};

// The numbers of the very first objects of each class, taken before any test runs.
struct FirstNumbers {
    int thread, proxy, timer;
};
const FirstNumbers first_numbers = [] {
    CountingThread t;
    Monitor m;
    Proxy p(m);
    Timer timer(p);
    return FirstNumbers{t.tid(), p.pid(), timer.tid()};
}();

/// A monitor that lets a test see whether its owner is blocked in wait() and wake the
/// condition without a notify, as the platform may do on its own.
class ProbeMonitor : public Monitor {
public:
    /// Fills the slot with a marker; a wait() that starts afterwards clears it.
    void mark() {
        pthread_mutex_lock(&mutex);
        notifier = &marker;
        pthread_mutex_unlock(&mutex);
    }
    /// True once a waiter has cleared the marker, that is, it sits in its wait (a waiter
    /// clears the slot and blocks without releasing the mutex in between).
    bool waiter_blocked() {
        pthread_mutex_lock(&mutex);
        const bool cleared = notifier == nullptr;
        pthread_mutex_unlock(&mutex);
        return cleared;
    }
    void spurious_wakeup() {
        pthread_mutex_lock(&mutex);
        pthread_cond_broadcast(&condition);
        pthread_mutex_unlock(&mutex);
    }

private:
    int marker = 0;
};

TEST(Numbering, FirstObjectOfEachClassGetsOneAndCountersAreIndependent) {
    EXPECT_EQ(first_numbers.thread, 1);
    EXPECT_EQ(first_numbers.proxy, 1);
    EXPECT_EQ(first_numbers.timer, 1);
}

TEST(Numbering, ConcurrentConstructionHandsOutUniqueConsecutiveNumbers) {
    // Agent threads create their proxies and timers at the same time during start-up.
    constexpr int kThreads = 8, kEach = 500;
    Monitor m;
    const int before = Proxy::nid.load();
    std::vector<std::vector<int>> numbers(kThreads);
    std::vector<std::thread> threads;
    std::promise<void> go;
    std::shared_future<void> gate = go.get_future().share();
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            gate.wait();
            for (int k = 0; k < kEach; ++k) {
                Proxy p(m);
                numbers[i].push_back(p.pid());
            }
        });
    }
    go.set_value();
    for (auto& t : threads) t.join();
    std::set<int> all;
    for (const auto& v : numbers) all.insert(v.begin(), v.end());
    ASSERT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(*all.begin(), before + 1);
    EXPECT_EQ(*all.rbegin(), before + kThreads * kEach);
}

TEST(ThreadLifecycle, StartsOnceAndPassesItsArgument) {
    CountingThread t;
    int arg = 0;
    EXPECT_EQ(t.start(&arg), 0);
    EXPECT_EQ(t.start(nullptr), 0);  // no second thread
    EXPECT_EQ(t.join(), 0);
    EXPECT_EQ(t.runs.load(), 1);
    EXPECT_EQ(t.arg_seen, &arg);
    // Joining twice or joining a thread never started would be undefined; both are refused.
    EXPECT_EQ(t.join(), EINVAL);
    CountingThread idle;
    EXPECT_EQ(idle.join(), ESRCH);
}

TEST(MonitorWait, NotifyWithNobodyWaitingIsForgotten) {
    Monitor m;
    int who = 0;
    m.notify(&who);
    const timespec soon = after_ms(50);
    EXPECT_EQ(m.wait(&soon), nullptr);  // the earlier notify is lost

    // A notify that comes while the owner waits is delivered.
    ProbeMonitor probe;
    probe.mark();
    auto waiter = std::async(std::launch::async, [&] { return probe.wait(); });
    ASSERT_TRUE(poll_until([&] { return probe.waiter_blocked(); }));
    probe.notify(&who);
    EXPECT_EQ(waiter.get(), &who);
}

TEST(MonitorWait, PastDeadlineReturnsNullAtOnce) {
    Monitor m;
    const timespec past{1, 0};
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(m.wait(&past), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST(MonitorWait, ConditionWakeupsWithoutNotifyAreNotReported) {
    ProbeMonitor probe;
    int who = 0;

    // wait(): goes on waiting through spurious wake-ups and returns the real notifier.
    probe.mark();
    auto waiter = std::async(std::launch::async, [&] { return probe.wait(); });
    ASSERT_TRUE(poll_until([&] { return probe.waiter_blocked(); }));
    for (int i = 0; i < 20; ++i) {
        probe.spurious_wakeup();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // lets a faulty wait return
    }
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    probe.notify(&who);
    EXPECT_EQ(waiter.get(), &who);

    // wait(deadline): spurious wake-ups before the deadline still give null at the end.
    probe.mark();
    const timespec deadline = after_ms(100);
    auto timed = std::async(std::launch::async, [&] { return probe.wait(&deadline); });
    ASSERT_TRUE(poll_until([&] { return probe.waiter_blocked(); }));
    for (int i = 0; i < 20; ++i) probe.spurious_wakeup();
    EXPECT_EQ(timed.get(), nullptr);
    timespec now;
    Timer::get_time(&now);
    EXPECT_TRUE(Timer::cmp_time(&deadline, &now));  // did not give up early
}

TEST(ProxyWakeup, TriggersCollapseIntoOneWakeupWithoutBacklog) {
    // Two proxies fire while the owner waits. Unless the owner happens to run between the two
    // triggers, it wakes once, with the later proxy, and its next wait does not see the
    // earlier one: the monitor keeps no backlog.
    constexpr int kRounds = 200;
    int named_later = 0;
    for (int round = 0; round < kRounds; ++round) {
        ProbeMonitor probe;
        Proxy first(probe), second(probe);
        probe.mark();
        auto owner = std::async(std::launch::async, [&] {
            Proxy* woke = Proxy::receive(probe);
            const timespec soon = after_ms(5);
            void* again = probe.wait(&soon);
            return std::make_pair(woke, again);
        });
        ASSERT_TRUE(poll_until([&] { return probe.waiter_blocked(); }));
        first.trigger();
        second.trigger();
        const auto result = owner.get();
        ASSERT_TRUE(result.first == &first || result.first == &second);
        if (result.first == &second) {
            // Both triggers came before the owner ran: the first must not be replayed.
            EXPECT_EQ(result.second, nullptr) << "a trigger was queued for a later wait";
            ++named_later;
        }
        EXPECT_EQ(first.triggers(), 1u);
    }
    std::printf("later proxy reported in %d of %d rounds\n", named_later, kRounds);
    EXPECT_GT(named_later, 0);
}

TEST(ProxyFlags, AccumulateAndCompareByNumber) {
    Monitor m1, m2;
    Proxy a(m1), b(m2);
    EXPECT_TRUE(a == a);
    EXPECT_FALSE(a == b);
    a.set(1);
    EXPECT_FALSE(a.is(2));
    a.set(2);
    EXPECT_TRUE(a.is(2));
    EXPECT_TRUE(a.is(1));  // bits only accumulate
    EXPECT_FALSE(b.is(3));
}

TEST(TimerThreadInstance, ConcurrentFirstUseCreatesExactlyOneThread) {
    // Nothing in this suite has used a timer yet, so the first getInstance happens here.
    constexpr int kThreads = 8;
    const int threads_before = Thread::nid.load();
    std::promise<void> go;
    std::shared_future<void> gate = go.get_future().share();
    std::vector<std::future<TimerThread*>> callers;
    for (int i = 0; i < kThreads; ++i) {
        callers.push_back(std::async(std::launch::async, [gate] {
            gate.wait();
            return TimerThread::getInstance();
        }));
    }
    go.set_value();
    TimerThread* first = callers[0].get();
    ASSERT_NE(first, nullptr);
    for (int i = 1; i < kThreads; ++i) EXPECT_EQ(callers[i].get(), first);
    EXPECT_EQ(Thread::nid.load(), threads_before + 1);
}

}  // namespace
