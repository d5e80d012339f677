#pragma once
// The agent space: typed blocks, the Space (the blackboard every agent and window shares)
// and the Agent base class.
//
// The Space stores one block per string key. A write carries a validity period (ms, 0 =
// never lapses) and a priority: a write replaces the value in force when that value is no
// longer valid or the new priority is greater than or equal to the stored one; otherwise it
// is refused, but it still restarts the validity period of the value in force (measured
// with the refused write's own validity) and still wakes the watchers. Every write wakes,
// synchronously and under the Space lock, each proxy registered on the key, by exact name or
// by a wildcard pattern ('*' any run of characters, '?' exactly one), also for registrations
// made before the key existed.
//
// Values are stored by copy. The first write of a key fixes its value type; a read, write or
// modify of that key with another type is refused with one diagnostic line on standard
// output (reported once per key, type and operation): a read returns the fallback, a write
// or modify changes nothing and wakes nobody.
//
// For the inspector every block also tells its value type and value in words, who set the
// value in force and when, and how many writes each writer made and had refused; while
// someone follows the event trace (capture_events), every write is also recorded as an event.
// None of this changes what a write does.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "core/space_inspection.h"
#include "core/thread.h"
#include "core/timer.h"

// ---------------------------------------------------------------------------------------------
// Blocks

/// Bookkeeping common to every entry of the Space. Every field is guarded by the lock of the
/// Space that owns the block.
class BaseBlock {
public:
    BaseBlock() = default;
    virtual ~BaseBlock() = default;

    BaseBlock(const BaseBlock&) = delete;
    BaseBlock& operator=(const BaseBlock&) = delete;

    /// ms == 0: never expires. Otherwise the value stays valid until now + ms.
    void setValidity(int ms);
    /// The same with the current time already taken.
    void setValidity(int ms, const timespec& now);

    /// False while `expired` is set; otherwise true when `expiry` is zero or the clock has
    /// not passed it (still valid at the very nanosecond of expiry).
    bool isValid() const;

    std::string key;               ///< the key the block is stored under
    timespec expiry{0, 0};         ///< end of validity; all zero = never expires
    float priority = 0.0f;         ///< priority of the write that set the value
    bool expired = true;           ///< not valid whatever `expiry` says; cleared by writes
    std::set<Proxy*> watchers;     ///< proxies to trigger on write and lapse (not owned)

    // For the inspector.
    const std::string* writer = nullptr;   ///< who set the value in force (interned name)
    timespec written{0, 0};                ///< when the value in force was set
    std::vector<SpaceWriterTally> tallies; ///< accepted and refused writes per writer

    /// The value type in words ("vector of 6 doubles", "ConfBlock").
    virtual std::string type_text() const { return "unknown"; }
    /// Appends the stored value as JSON.
    virtual void value_json(std::string& out) const { out += "null"; }
};

/// A block holding a value of type T (a copy owned by the block).
template <class T>
class Block : public BaseBlock {
public:
    /// Not valid until the creating write has cleared `expired` and set the validity.
    Block(const std::string& k, const T& v) : value(v) {
        key = k;
        expired = true;
    }

    std::string type_text() const override { return SpaceValueFormat<T>::type(value); }
    void value_json(std::string& out) const override { SpaceValueFormat<T>::json(out, value); }

    T value;
};

/// Configuration of a position-controlled motor agent.
struct ConfBlock {
    std::string name;         ///< display name
    std::string joints_key;   ///< Space key of the joint-target vector
    std::string speed_key;    ///< Space key of the reference-speed vector
    std::string acc_key;      ///< Space key of the reference-acceleration vector
    std::string device;       ///< YARP device to open ("remote_controlboard")
    std::string local_port;   ///< local YARP port name
    std::string remote_port;  ///< remote port of the robot
};

/// Configuration of a velocity-controlled motor agent.
struct VelocityBlock {
    std::string name;
    std::string velocity_key;  ///< Space key of the joint-velocity command vector
    std::string encoder_key;   ///< Space key of the encoder vector
    std::string device;
    std::string local_port;
    std::string remote_port;
};

/// Configuration of a sensor agent.
struct SensorBlock {
    std::string name;
    std::string local_port;
    std::string remote_port;
    std::string data_key;  ///< Space key the reading is written under
    std::string command;   ///< request sent to the remote port; empty when none is needed
    int delay_ms = 0;      ///< delay before the first timer tick
    int period_ms = 0;     ///< timer period
};

/// Configuration of the encoder-reading agent.
struct PositionBlock {
    std::string name;
    std::string encoder_key;
    std::string device;
    std::string local_port;
    std::string remote_port;
    int delay_ms = 0;
    int period_ms = 0;
};

/// Configuration of a behaviour agent.
struct AgentBlock {
    std::string name;
    std::string input_key;   ///< first Space key the agent reads
    std::string output_key;  ///< Space key the agent writes
    std::string aux_key;     ///< third Space key (for example the encoder vector)
    int delay_ms = 0;
    int period_ms = 0;
};

// ---------------------------------------------------------------------------------------------
// The Space

/// The process-wide blackboard (see the top of this file for the rules).
///
/// One lock serialises every read, write, modify, registration and expiry pass. Watchers are
/// triggered while the writer holds that lock, so the lock order is always Space lock, then
/// monitor mutex. The Space is also a Thread whose run() is the expiry scan: every 20 ms it
/// wakes, once per lapse, the watchers of blocks whose validity has run out. Nothing starts
/// that thread unless someone calls start().
class Space : public Thread {
public:
    /// Room for this many events between two drains of the event trace.
    static constexpr std::size_t kEventCapacity = 4096;

    /// A private, empty Space (the process uses getSpace(); tests may make their own).
    Space();
    /// The same with room for `event_capacity` events in the trace.
    explicit Space(std::size_t event_capacity);
    /// Frees the blocks. The expiry scan must not be running.
    ~Space() override;

    /// The process-wide instance, created (not started) on first use.
    static Space* getSpace();

    /// Stores `value` under `key` with the priority rule; wakes the key's watchers.
    /// `validity` is in ms (0 = never lapses); a negative validity is refused with one line.
    template <class T>
    void write(const std::string& key, const T& value, int validity, float priority);

    /// The valid value under `key`, else `fallback` (missing, lapsed, expired, or of another
    /// type). Never creates an entry and never wakes anyone.
    template <class T>
    T read(const std::string& key, const T& fallback);

    /// Atomic read-modify-write. Under the Space lock: takes the valid value under `key`
    /// (or `fallback` when there is none), applies `fn(T&)` to it, and writes the result
    /// exactly as write() would (priority rule, validity restart, watchers woken). No other
    /// read or write can come in between. `fn` runs under the Space lock and must not use
    /// the Space itself. A key of another type is refused like write(); `fn` is not called.
    template <class T, class F>
    void modify(const std::string& key, const T& fallback, F&& fn, int validity, float priority);

    /// Registers `proxy` for every write and lapse of each block whose key matches
    /// `pattern`, existing now or created later. ORs `flags` into the proxy's flags.
    /// Wakes nobody. Registering a proxy twice on one key still gives one wake-up per write.
    void trigger_attach(const std::string& pattern, Proxy* proxy, int flags);

    /// Whether the whole `text` matches the whole `pattern`: '*' any sequence (also empty),
    /// '?' exactly one character, every other character itself (byte-wise, case-sensitive).
    static bool wildcard(const std::string& pattern, const std::string& text);

    /// True when `s` contains '*' or '?'.
    static bool is_wildcard(const std::string& s);

    /// Records that `block` fired the proxy numbered `pid` (for proxies with flag 2).
    /// Call with the Space lock held.
    void matching(int pid, BaseBlock* block);

    /// The expiry scan: a 20 ms timer on the 20 ms grid; each tick sets `expired` on every
    /// lapsed block not yet marked and wakes its watchers once.
    void run(void* arg) override;

    /// The blocks that fired proxy `pid` (flag 2 registrations); empty when none.
    std::set<const BaseBlock*> matched_blocks(int pid);

    // --- Introspection (changes nothing in the Space) ---

    /// Every entry as it stands now, in key order.
    std::vector<SpaceEntry> entries();

    /// The entry under `key`; false when there is none.
    bool entry(const std::string& key, SpaceEntry* out);

    /// Starts (true) or ends (false) one follower of the event trace. While at least one
    /// follows, every write, accepted or refused, is stored in event_buffer(); the first
    /// follower starts from an empty buffer.
    void capture_events(bool on);

    /// The event trace: drain it regularly while capturing, it drops what does not fit.
    SpaceEventBuffer& event_buffer() { return events; }

private:
    // Helpers for the templates; all are called with `sync` held.
    BaseBlock* find(const std::string& key);
    void insert(const std::string& key, std::unique_ptr<BaseBlock> block);
    timespec settle(BaseBlock* block, int validity, bool accepted);
    void record(const BaseBlock& block, const timespec& now, int validity, float priority,
                bool accepted, void (*render)(std::string&, const void*), const void* value);
    SpaceEntry describe(const BaseBlock& block, const timespec& now) const;
    void wake(BaseBlock* block);
    bool refuse_validity(const std::string& key, int validity);
    void refuse_type(const char* op, const std::string& key, const std::type_info& wanted,
                     const BaseBlock& held);

    template <class T>
    void write_locked(const std::string& key, const T& value, int validity, float priority);
    template <class T>
    Block<T>* typed(const char* op, const std::string& key, BaseBlock* b);

    std::map<std::string, std::unique_ptr<BaseBlock>> blocks;
    std::vector<std::pair<std::string, Proxy*>> registrations;
    std::map<int, std::set<const BaseBlock*>> matched;
    std::set<std::string> reported;  // type refusals already reported (one line each)
    Synchronize sync;
    int followers = 0;  // of the event trace; guarded by sync
    SpaceEventBuffer events;

    static Space* space;
};

template <class T>
Block<T>* Space::typed(const char* op, const std::string& key, BaseBlock* b) {
    if (b == nullptr) return nullptr;
    if (auto* t = dynamic_cast<Block<T>*>(b)) return t;
    refuse_type(op, key, typeid(T), *b);
    return nullptr;
}

template <class T>
void Space::write_locked(const std::string& key, const T& value, int validity, float priority) {
    BaseBlock* b = find(key);
    bool accepted = true;
    if (b == nullptr) {
        auto fresh = std::make_unique<Block<T>>(key, value);
        fresh->priority = priority;
        b = fresh.get();
        insert(key, std::move(fresh));
    } else {
        Block<T>* t = typed<T>("write", key, b);
        if (t == nullptr) return;
        accepted = !t->isValid() || priority >= t->priority;
        if (accepted) {
            t->value = value;
            t->priority = priority;
        }
    }
    const timespec now = settle(b, validity, accepted);
    if (followers > 0) {
        record(*b, now, validity, priority, accepted,
               [](std::string& out, const void* v) {
                   SpaceValueFormat<T>::json(out, *static_cast<const T*>(v));
               },
               &value);
    }
}

template <class T>
void Space::write(const std::string& key, const T& value, int validity, float priority) {
    static_assert(!std::is_array<T>::value, "store text as std::string, not a character array");
    std::lock_guard<Synchronize> guard(sync);
    if (refuse_validity(key, validity)) return;
    write_locked(key, value, validity, priority);
}

template <class T>
T Space::read(const std::string& key, const T& fallback) {
    std::lock_guard<Synchronize> guard(sync);
    Block<T>* t = typed<T>("read", key, find(key));
    if (t == nullptr || !t->isValid()) return fallback;
    return t->value;
}

template <class T, class F>
void Space::modify(const std::string& key, const T& fallback, F&& fn, int validity,
                   float priority) {
    static_assert(!std::is_array<T>::value, "store text as std::string, not a character array");
    std::lock_guard<Synchronize> guard(sync);
    if (refuse_validity(key, validity)) return;
    BaseBlock* b = find(key);
    Block<T>* t = typed<T>("modify", key, b);
    if (b != nullptr && t == nullptr) return;
    T value = (t != nullptr && t->isValid()) ? t->value : fallback;
    std::forward<F>(fn)(value);
    write_locked(key, value, validity, priority);
}

// ---------------------------------------------------------------------------------------------
// Agents

/// Base class of every agent: a thread that runs init() once, then one sense_select_act()
/// per wake-up (timer tick or Space trigger) with the number of the proxy that fired.
///
/// Wake-ups that arrive while init() or sense_select_act() runs are lost, never queued; an
/// agent therefore never runs two activations at once. The proxies and timers an agent
/// creates live until the process ends.
class Agent : public Thread {
public:
    /// Stores the configuration key; touches neither the Space nor the robot.
    explicit Agent(std::string key);
    /// Binds the agent to a Space other than the process-wide one (tests).
    Agent(std::string key, Space& space);
    /// Does not stop or join the thread.
    ~Agent() override;

    /// The thread body: init(config_key), then wait and activate until killed.
    void run(void* arg) override;

    /// Set-up on the agent's own thread: read the configuration block, open connections,
    /// attach timers and triggers.
    virtual void init(std::string key) = 0;

    /// One activation; `id` is the number returned by the timer_attach or trigger_attach
    /// whose source fired.
    virtual void sense_select_act(int id) = 0;

    /// Asks the loop to end; it does so after the next wake-up has been handled.
    void kill();

    /// Creates a proxy and a timer started with (delay, period, align); returns the proxy's
    /// number.
    int timer_attach(int delay, int period, int align);

    /// Creates a proxy registered on the Space under `key` (a key or a wildcard pattern);
    /// returns the proxy's number.
    int trigger_attach(std::string key, int flags);

    /// Space::read on the agent's Space.
    template <class T>
    T space_read(const std::string& key, const T& fallback) {
        return space().read(key, fallback);
    }

    /// Space::write on the agent's Space.
    template <class T>
    void space_write(const std::string& key, const T& value, int validity, float priority) {
        space().write(key, value, validity, priority);
    }

    /// Space::modify on the agent's Space (atomic read-modify-write).
    template <class T, class F>
    void space_modify(const std::string& key, const T& fallback, F&& fn, int validity,
                      float priority) {
        space().modify(key, fallback, std::forward<F>(fn), validity, priority);
    }

protected:
    /// The Space this agent reads and writes (the process-wide one unless bound otherwise).
    Space& space() { return bound_space != nullptr ? *bound_space : *Space::getSpace(); }

    std::string config_key;
    Monitor monitor;
    std::atomic<bool> killed{false};

private:
    Space* bound_space = nullptr;
};
