#include "core/timer.h"

#include "core/report.h"

#include <cstdio>
#include <mutex>
#include <ostream>

namespace {

constexpr long kNanosPerSecond = 1000000000L;
constexpr long kNanosPerMilli = 1000000L;

// The queue lock, built on first use so that a timer started from another file's static
// initialiser still finds it.
Synchronize& queue_lock() {
    static Synchronize* lock = new Synchronize();  // never freed: the timer thread outlives main
    return *lock;
}

}  // namespace

std::atomic<int> Timer::nid{0};
std::atomic<TimerThread*> TimerThread::singleton{nullptr};
Synchronize* TimerThread::p_sync = &queue_lock();

// ---------------------------------------------------------------------------------------------
// Timer

Timer::Timer(Proxy& p) : number(++nid), proxy(&p) {}

void Timer::start(int delay, int period, int align) {
    if (period < 0) {
        print_line(format_text("timer %u: negative period %d ms refused\n",
                               static_cast<unsigned>(number), period));
        return;
    }
    timespec now;
    get_time(&now);
    TimerThread::getInstance()->schedule(this, first_deadline(now, delay, align), period);
}

void Timer::start(const timespec* at, int period) {
    if (period < 0 || at == nullptr) {
        print_line(format_text("timer %u: %s refused\n", static_cast<unsigned>(number),
                               at == nullptr ? "start without a deadline" : "negative period"));
        return;
    }
    timespec first = *at;
    inc_time(&first, 0);  // normalise a hand-made deadline
    if (TimerThread::getInstance()->schedule(this, first, period)) {
        print_line(format_text("timer %u started\n", static_cast<unsigned>(number)));
    }
}

void Timer::stop() { active.store(false); }

void Timer::trigger() { proxy->trigger(); }

void Timer::get_time(timespec* t) { clock_gettime(CLOCK_REALTIME, t); }

void Timer::inc_time(timespec* t, int ms) {
    t->tv_sec += ms / 1000;
    long nanos = static_cast<long>(t->tv_nsec) + static_cast<long>(ms % 1000) * kNanosPerMilli;
    t->tv_sec += nanos / kNanosPerSecond;
    nanos %= kNanosPerSecond;
    if (nanos < 0) {
        nanos += kNanosPerSecond;
        t->tv_sec -= 1;
    }
    t->tv_nsec = nanos;
}

bool Timer::cmp_time(const timespec* a, const timespec* b) {
    return a->tv_sec < b->tv_sec || (a->tv_sec == b->tv_sec && a->tv_nsec <= b->tv_nsec);
}

timespec Timer::first_deadline(const timespec& now, int delay, int align) {
    timespec t = now;
    if (align > 0) {
        const long grid = static_cast<long>(align % 1000) * kNanosPerMilli;
        const long secs = align / 1000;
        if (grid > 0) {
            // May reach a whole second or more; inc_time below carries it.
            const long raised = t.tv_nsec + grid - 1;
            t.tv_nsec = raised - raised % grid;
        }
        if (secs > 0) {
            t.tv_nsec = 0;
            const auto raised = t.tv_sec + secs - 1;
            t.tv_sec = raised - raised % secs;
        }
    }
    inc_time(&t, delay);
    return t;
}

bool Timer::operator<(const Timer& o) const {
    return timing.tv_sec > o.timing.tv_sec ||
           (timing.tv_sec == o.timing.tv_sec && timing.tv_nsec > o.timing.tv_nsec);
}

bool Timer::operator==(const Timer& o) const {
    return timing.tv_sec == o.timing.tv_sec && timing.tv_nsec == o.timing.tv_nsec;
}

std::ostream& operator<<(std::ostream& os, const Timer& t) {
    const timespec& at = *t.getTiming();
    return os << "Timer " << static_cast<unsigned>(t.tid()) << " " << at.tv_sec << " : "
              << at.tv_nsec;
}

// ---------------------------------------------------------------------------------------------
// TimerThread

TimerThread* TimerThread::getInstance() {
    static std::once_flag once;
    std::call_once(once, [] {
        auto* instance = new TimerThread();  // lives until the process ends
        singleton.store(instance);
        instance->start(nullptr);
    });
    return singleton.load();
}

TimerThread::~TimerThread() = default;

bool TimerThread::schedule(Timer* t, const timespec& first, int period) {
    p_sync->lock();
    const bool refused = t->queued;
    if (!refused) {
        t->timing = first;
        t->period = period;
        t->active.store(true);
        queue.push(t);
        t->queued = true;
    }
    p_sync->unlock();
    if (refused) {
        print_line(format_text("timer %u: still queued, start refused\n",
                               static_cast<unsigned>(t->number)));
        return false;
    }
    monitor.notify(this);
    return true;
}

void TimerThread::enque(Timer* t) {
    p_sync->lock();
    const bool fresh = !t->queued;
    if (fresh) {
        queue.push(t);
        t->queued = true;
    }
    p_sync->unlock();
    if (fresh) monitor.notify(this);
}

void TimerThread::run(void*) {
    // Every enque notifies the monitor after pushing. wait_pending() keeps a notification
    // that arrives between our look at the queue and the start of the wait, so the thread
    // never sleeps past a deadline queued in that window.
    for (;;) {
        p_sync->lock();
        if (queue.empty()) {
            p_sync->unlock();
            monitor.wait_pending(nullptr);
            continue;
        }
        const timespec deadline = queue.top()->timing;
        p_sync->unlock();

        if (monitor.wait_pending(&deadline) != nullptr) continue;  // queue changed: look again

        // The top may have changed since we looked (an enque after the wait timed out);
        // fire whatever is on top only if it is due.
        timespec now;
        Timer::get_time(&now);
        p_sync->lock();
        Timer* t = queue.empty() ? nullptr : queue.top();
        if (t == nullptr || !Timer::cmp_time(&t->timing, &now)) {
            p_sync->unlock();
            continue;
        }
        queue.pop();
        t->queued = false;
        const bool fire = t->active.load();
        p_sync->unlock();

        if (!fire) continue;  // stopped: dropped without firing
        t->trigger();

        // Re-arm from the previous deadline, not from now, so cyclic timers do not drift.
        // A timer stopped or restarted meanwhile is left alone.
        p_sync->lock();
        if (t->period != 0 && t->active.load() && !t->queued) {
            Timer::inc_time(&t->timing, t->period);
            queue.push(t);
            t->queued = true;
        }
        p_sync->unlock();
    }
}
