#pragma once
// Thin primitives over POSIX threads that carry every wake-up in the controller:
//
//  - Thread:      an object owning one thread of execution that runs its virtual run().
//  - Synchronize: a plain, non-recursive mutual-exclusion lock.
//  - Monitor:     a lock, a condition variable and one slot naming the last notifier.
//  - Proxy:       a numbered notification endpoint bound to one Monitor.
//
// An agent owns one Monitor and one Proxy per wake-up source (timer or Space trigger). The
// source calls Proxy::trigger(); the agent, blocked in Proxy::receive(), wakes with the proxy
// that fired and uses its number to tell the sources apart.
//
// Wake-ups are edge-like: a Monitor keeps only the last notifier and no backlog, so
// notifications that arrive while nobody waits are lost and several that arrive before the
// waiter runs collapse into one.
#include <pthread.h>

#include <atomic>
#include <ctime>

/// Sleeps for `secs` whole seconds (not milliseconds). Returns the seconds left unslept,
/// 0 normally.
int delay(int secs);

/// An object that owns one thread of execution running its virtual run().
///
/// The thread is created by start() and ends when run() returns. The destructor neither
/// stops nor joins the thread: whoever destroys a started Thread must make sure it has
/// ended (join()) first.
class Thread {
public:
    Thread();
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    /// The thread body; `arg` is the argument given to start().
    virtual void run(void* arg) = 0;

    /// Starts the thread once. A second call returns 0 and does nothing. Returns 0 on
    /// success and -1 when the platform refuses to create the thread; the object counts as
    /// started in both cases, so it never gets a second thread.
    int start(void* arg);

    /// Waits until the thread has ended. Returns the platform's result; ESRCH when no
    /// thread was ever created and EINVAL when the thread has already been joined (the
    /// platform call would be undefined in both cases).
    int join();

    /// The thread number: 1 for the first Thread of the process, then 2, 3, ...
    int tid() const { return number; }

    /// Sleeps the calling thread for `secs` whole seconds (see the free delay()).
    int delay(int secs);

    /// Platform entry routine: runs `self`'s run() with its start argument.
    static void* exec(void* self);

    /// Class-wide counter of thread numbers; the last number handed out (0 before any).
    static std::atomic<int> nid;

protected:
    pthread_t handle{};
    const int number;
    std::atomic<bool> started{false};
    void* run_arg = nullptr;

private:
    bool created = false;           // pthread_create succeeded (set before start returns)
    std::atomic<bool> joined{false};
};

/// A plain non-recursive mutex. lock() and unlock() return the platform's result code;
/// there is no try-lock and no timeout. Satisfies BasicLockable, so std::lock_guard works.
class Synchronize {
public:
    Synchronize();
    ~Synchronize();

    Synchronize(const Synchronize&) = delete;
    Synchronize& operator=(const Synchronize&) = delete;

    int lock();
    int unlock();

private:
    pthread_mutex_t mutex;
};

/// A lock with a condition variable and one slot that names the last notifier.
///
/// Timed waits take absolute deadlines on the real-time clock (CLOCK_REALTIME), the clock
/// that Timer keeps its deadlines on. Condition wake-ups that no notify() caused are never
/// reported: the waits go on until the slot is filled (or the deadline has passed).
class Monitor {
public:
    Monitor();
    ~Monitor();

    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    /// Clears the slot, then blocks until a notify() fills it; returns the notifier.
    /// A notify() that happened before this call is forgotten.
    void* wait();

    /// As wait(), but gives up at the absolute real-time `deadline`: returns nullptr when
    /// it passed without a notify(), else the notifier. A deadline already past returns
    /// nullptr at once (unless a notify() races in).
    void* wait(const timespec* deadline);

    /// Waits like wait(deadline) (`deadline` nullptr = no deadline) but does not forget a
    /// notification that arrived since the previous wait_pending() returned: it returns it
    /// at once. The slot is cleared when the wait returns. For a waiter that must not miss
    /// a notify() racing with its own preparation, such as the timer thread looking at its
    /// queue before it sleeps.
    void* wait_pending(const timespec* deadline);

    /// Stores `who` as the notifier and wakes one waiting thread. With `keep`, the
    /// notification is also kept when nobody is waiting: the next wait() returns it at once
    /// instead of forgetting it. At most one such notification is kept (later ones replace
    /// it), so a busy waiter gets one follow-up wake-up, never a backlog.
    void notify(void* who, bool keep = false);

protected:
    // Protected so that a test can probe the waiter (is it blocked? does it survive a
    // condition wake-up that no notify caused?).
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    void* notifier = nullptr;
    void* kept = nullptr;  // a keep-notification not yet delivered by a wait
};

/// A numbered notification endpoint bound to one Monitor (not owned).
///
/// Proxy numbers are process-wide: 1 for the first proxy, then 2, 3, ... in construction
/// order across all threads, unique even under concurrent construction.
class Proxy {
public:
    explicit Proxy(Monitor& m);

    Proxy(const Proxy&) = delete;
    Proxy& operator=(const Proxy&) = delete;

    int pid() const { return number; }

    /// Notifies the bound monitor with this proxy as the notifier.
    void trigger();

    /// Waits on `m` (Monitor::wait()) and returns the proxy that notified it.
    static Proxy* receive(Monitor& m);

    /// True when both proxies carry the same number, whatever their monitors.
    bool operator==(const Proxy& o) const { return number == o.number; }

    /// How many times trigger() has been called on this proxy. Compared with the number of
    /// activations it tells how many wake-ups were lost or collapsed.
    unsigned long triggers() const { return fired.load(); }

    /// Makes this proxy's triggers survive a busy owner: a trigger that arrives while the
    /// owner is not waiting is delivered at its next wait (see Monitor::notify). Agents use
    /// it for Space triggers, so the last write of a key always reaches its watcher.
    void keep_pending() { keeps.store(true); }

    /// Adds `bits` to the registration flags; flags only ever accumulate.
    void set(int bits);
    /// True when any of `bits` is set in the flags.
    bool is(int bits) const;

    /// Class-wide counter of proxy numbers; the last number handed out (0 before any).
    static std::atomic<int> nid;

private:
    const int number;
    Monitor& monitor;
    std::atomic<int> flags{0};
    std::atomic<unsigned long> fired{0};
    std::atomic<bool> keeps{false};
};
