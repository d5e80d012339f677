#include "core/thread.h"

#include <unistd.h>

#include <cerrno>

std::atomic<int> Thread::nid{0};
std::atomic<int> Proxy::nid{0};

int delay(int secs) {
    if (secs <= 0) return 0;
    return static_cast<int>(::sleep(static_cast<unsigned>(secs)));
}

// ---------------------------------------------------------------------------------------------
// Thread

Thread::Thread() : number(++nid) {}

Thread::~Thread() = default;

int Thread::start(void* arg) {
    // exchange() makes a racing second start() see "already started" as well.
    if (started.exchange(true)) return 0;
    run_arg = arg;
    if (pthread_create(&handle, nullptr, &Thread::exec, this) != 0) return -1;
    created = true;
    return 0;
}

void* Thread::exec(void* self) {
    auto* t = static_cast<Thread*>(self);
    t->run(t->run_arg);
    return nullptr;
}

int Thread::join() {
    if (!created) return ESRCH;
    if (joined.exchange(true)) return EINVAL;
    return pthread_join(handle, nullptr);
}

int Thread::delay(int secs) { return ::delay(secs); }

// ---------------------------------------------------------------------------------------------
// Synchronize

Synchronize::Synchronize() { pthread_mutex_init(&mutex, nullptr); }
Synchronize::~Synchronize() { pthread_mutex_destroy(&mutex); }
int Synchronize::lock() { return pthread_mutex_lock(&mutex); }
int Synchronize::unlock() { return pthread_mutex_unlock(&mutex); }

// ---------------------------------------------------------------------------------------------
// Monitor

Monitor::Monitor() {
    pthread_mutex_init(&mutex, nullptr);
    pthread_cond_init(&condition, nullptr);  // default attributes: CLOCK_REALTIME
}

Monitor::~Monitor() {
    pthread_cond_destroy(&condition);
    pthread_mutex_destroy(&mutex);
}

void* Monitor::wait() {
    pthread_mutex_lock(&mutex);
    notifier = kept;  // a kept notification is delivered at once; any other is forgotten
    while (notifier == nullptr) pthread_cond_wait(&condition, &mutex);
    void* who = notifier;
    kept = nullptr;
    pthread_mutex_unlock(&mutex);
    return who;
}

void* Monitor::wait(const timespec* deadline) {
    pthread_mutex_lock(&mutex);
    notifier = kept;
    while (notifier == nullptr) {
        if (deadline == nullptr) {
            pthread_cond_wait(&condition, &mutex);
        } else if (pthread_cond_timedwait(&condition, &mutex, deadline) != 0) {
            break;  // the deadline passed (or is malformed): give up rather than spin
        }
    }
    void* who = notifier;
    if (who != nullptr) kept = nullptr;
    pthread_mutex_unlock(&mutex);
    return who;
}

void* Monitor::wait_pending(const timespec* deadline) {
    pthread_mutex_lock(&mutex);
    while (notifier == nullptr) {
        if (deadline == nullptr) {
            pthread_cond_wait(&condition, &mutex);
        } else if (pthread_cond_timedwait(&condition, &mutex, deadline) != 0) {
            break;
        }
    }
    void* who = notifier;
    notifier = nullptr;
    if (who != nullptr) kept = nullptr;
    pthread_mutex_unlock(&mutex);
    return who;
}

void Monitor::notify(void* who, bool keep) {
    pthread_mutex_lock(&mutex);
    notifier = who;
    if (keep) kept = who;
    pthread_cond_signal(&condition);
    pthread_mutex_unlock(&mutex);
}

// ---------------------------------------------------------------------------------------------
// Proxy

Proxy::Proxy(Monitor& m) : number(++nid), monitor(m) {}

void Proxy::trigger() {
    fired.fetch_add(1, std::memory_order_relaxed);
    monitor.notify(this, keeps.load());
}

Proxy* Proxy::receive(Monitor& m) { return static_cast<Proxy*>(m.wait()); }

void Proxy::set(int bits) { flags.fetch_or(bits); }

bool Proxy::is(int bits) const { return (flags.load() & bits) != 0; }
