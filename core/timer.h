#pragma once
// Timers and the one timer thread that fires them.
//
// A Timer wakes one Proxy at an absolute deadline, once or periodically. All timers of the
// process are served by a single TimerThread, created by the first timer start, which keeps
// the started timers in a queue ordered by deadline, sleeps until the earliest deadline and
// fires it. Cyclic timers are re-armed from their previous deadline, so they do not drift;
// a cyclic timer whose deadlines lie in the past fires once per overdue period until it has
// caught up.
//
// Times are absolute real-time-clock values (seconds and nanoseconds); durations are whole
// milliseconds in int.
#include <atomic>
#include <ctime>
#include <iosfwd>
#include <queue>
#include <vector>

#include "core/thread.h"

class TimerThread;

/// Wakes one proxy at an absolute deadline, once (period 0) or every `period` milliseconds.
///
/// Timers are meant to live until the process ends: the timer thread holds them by pointer
/// while they are queued, including for a while after stop().
class Timer {
public:
    /// Binds `p` (not owned) and takes the next timer number; not active.
    explicit Timer(Proxy& p);

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    /// Starts the timer: first deadline from now, `delay` and the alignment grid `align`
    /// (see first_deadline()), then every `period` ms (0 = one-shot). A negative period, or
    /// a start while the timer still sits in the queue, is refused with one line on
    /// standard output.
    void start(int delay, int period, int align);

    /// Starts the timer with `*at` as its first deadline, then every `period` ms. Prints
    /// "timer <n> started". Refused like the other start().
    void start(const timespec* at, int period);

    /// Stops the timer: no further firing. It stays queued until its next deadline passes
    /// and is then dropped without firing.
    void stop();

    /// Triggers the bound proxy.
    void trigger();

    int tid() const { return number; }
    /// The next deadline. Changed by the timer thread while the timer is cyclic and active.
    timespec* getTiming() { return &timing; }
    const timespec* getTiming() const { return &timing; }
    int getPeriod() const { return period; }
    bool isCyclic() const { return period != 0; }
    bool isActive() const { return active.load(); }

    /// Reads the real-time clock into `*t`.
    static void get_time(timespec* t);

    /// Advances `*t` by `ms` milliseconds and normalises the nanoseconds into
    /// [0, 999 999 999] (a negative `ms` moves the time back).
    static void inc_time(timespec* t, int ms);

    /// True when `a` is not later than `b`.
    static bool cmp_time(const timespec* a, const timespec* b);

    /// The first deadline of start(delay, period, align) when the clock reads `now`.
    ///
    /// With 0 < align: the sub-second part of `align` (align mod 1000 ms) raises the
    /// nanoseconds to the next multiple of that grid (the grid restarts every whole second);
    /// a whole-second part (align div 1000 s) instead sets the nanoseconds to 0 and raises
    /// the seconds to the next multiple of it, so align 1000 anchors at the start of the
    /// current second. Then `delay` ms is added with carry. align <= 0: now + delay.
    static timespec first_deadline(const timespec& now, int delay, int align);

    /// True when this timer's deadline is later than `o`'s.
    bool operator<(const Timer& o) const;
    /// True when both deadlines are equal to the nanosecond.
    bool operator==(const Timer& o) const;

    /// Class-wide counter of timer numbers; the last number handed out (0 before any).
    static std::atomic<int> nid;

private:
    friend class TimerThread;

    const int number;
    Proxy* proxy;
    timespec timing{0, 0};
    int period = 0;
    std::atomic<bool> active{false};
    bool queued = false;  // guarded by TimerThread::p_sync
};

/// Writes "Timer <n> <seconds> : <nanoseconds>" (no end of line).
std::ostream& operator<<(std::ostream& os, const Timer& t);

/// Queue ordering: the earliest deadline ends up on top of the priority queue.
struct CompareTimer {
    bool operator()(const Timer* a, const Timer* b) const { return *a < *b; }
};

/// The one thread that fires every timer of the process, in deadline order.
class TimerThread : public Thread {
public:
    /// The instance; the first call (from any number of threads at once) creates exactly
    /// one and starts its thread.
    static TimerThread* getInstance();

    /// Queues a started timer and wakes the timer thread so that it re-examines the queue.
    /// A timer already in the queue is not queued twice.
    void enque(Timer* t);

    /// The firing loop; never returns.
    void run(void* arg) override;

    ~TimerThread() override;

    /// Guards the queue and every queued timer's deadline. Created before main runs and
    /// never freed.
    static Synchronize* p_sync;

private:
    friend class Timer;
    TimerThread() = default;

    /// Under p_sync: refuses a timer that is still queued, else sets its first deadline and
    /// period, marks it active and queues it. Returns false when refused.
    bool schedule(Timer* t, const timespec& first, int period);

    std::priority_queue<Timer*, std::vector<Timer*>, CompareTimer> queue;
    Monitor monitor;

    static std::atomic<TimerThread*> singleton;
};
