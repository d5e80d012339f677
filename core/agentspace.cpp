#include "core/agentspace.h"

#include "core/report.h"

#include <cstdio>
#include <cstdlib>

namespace {

// A readable type name for diagnostics ("std::vector<double, ...>" rather than mangled).
std::string type_name(const std::type_info& type) { return space_format_detail::readable_type(type); }

// The value type held by a block: the template argument of its Block<...>.
std::string held_type_name(const BaseBlock& block) {
    std::string name = type_name(typeid(block));
    const std::string prefix = "Block<";
    if (name.compare(0, prefix.size(), prefix) == 0 && name.back() == '>') {
        name = name.substr(prefix.size(), name.size() - prefix.size() - 1);
        while (!name.empty() && name.back() == ' ') name.pop_back();
    }
    return name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// BaseBlock

void BaseBlock::setValidity(int ms) {
    timespec now;
    Timer::get_time(&now);
    setValidity(ms, now);
}

void BaseBlock::setValidity(int ms, const timespec& now) {
    if (ms == 0) {
        expiry = timespec{0, 0};
        return;
    }
    expiry = now;
    Timer::inc_time(&expiry, ms);
}

bool BaseBlock::isValid() const {
    if (expired) return false;
    if (expiry.tv_sec == 0 && expiry.tv_nsec == 0) return true;
    timespec now;
    Timer::get_time(&now);
    return Timer::cmp_time(&now, &expiry);
}

// ---------------------------------------------------------------------------------------------
// Space

Space* Space::space = nullptr;

Space::Space() : Space(kEventCapacity) {}

Space::Space(std::size_t event_capacity) : events(event_capacity) {}

Space::~Space() = default;

Space* Space::getSpace() {
    static std::once_flag once;
    std::call_once(once, [] { space = new Space(); });  // lives until the process ends
    return space;
}

BaseBlock* Space::find(const std::string& key) {
    auto it = blocks.find(key);
    return it == blocks.end() ? nullptr : it->second.get();
}

void Space::insert(const std::string& key, std::unique_ptr<BaseBlock> block) {
    BaseBlock* b = block.get();
    blocks.emplace(key, std::move(block));
    // Registrations made before the key existed (exact keys and wildcard patterns).
    for (const auto& reg : registrations) {
        if (wildcard(reg.first, key)) b->watchers.insert(reg.second);
    }
}

timespec Space::settle(BaseBlock* block, int validity, bool accepted) {
    timespec now;
    Timer::get_time(&now);
    // Refused writes too: the value in force gets a fresh validity period and the watchers
    // are told, so they re-read what holds now.
    block->expired = false;
    block->setValidity(validity, now);

    const std::string* writer = SpaceWriter::current();
    if (accepted) {
        block->writer = writer;
        block->written = now;
    }
    SpaceWriterTally* tally = nullptr;
    for (SpaceWriterTally& t : block->tallies) {
        if (t.writer == writer) tally = &t;
    }
    if (tally == nullptr) {  // the first write of this writer to this key
        block->tallies.push_back(SpaceWriterTally{writer, 0, 0});
        tally = &block->tallies.back();
    }
    ++(accepted ? tally->accepted : tally->refused);

    wake(block);
    return now;
}

void Space::record(const BaseBlock& block, const timespec& now, int validity, float priority,
                   bool accepted, void (*render)(std::string&, const void*), const void* value) {
    events.push([&](SpaceEvent& e) {
        e.time = now;
        e.key = block.key;
        e.writer = SpaceWriter::current();
        e.priority = priority;
        e.validity_ms = validity;
        e.accepted = accepted;
        e.value_json.clear();
        render(e.value_json, value);
    });
}

void Space::capture_events(bool on) {
    std::lock_guard<Synchronize> guard(sync);
    if (on && followers++ == 0) events.clear();
    if (!on && followers > 0) --followers;
}

SpaceEntry Space::describe(const BaseBlock& block, const timespec& now) const {
    SpaceEntry e;
    e.key = block.key;
    e.type = block.type_text();
    block.value_json(e.value_json);
    e.priority = block.priority;
    e.lapsed = !block.isValid();
    e.never_lapses = !e.lapsed && block.expiry.tv_sec == 0 && block.expiry.tv_nsec == 0;
    if (!e.lapsed && !e.never_lapses) {
        e.valid_ms = (block.expiry.tv_sec - now.tv_sec) * 1000LL +
                     (block.expiry.tv_nsec - now.tv_nsec) / 1000000LL;
        if (e.valid_ms < 0) e.valid_ms = 0;
    }
    if (block.writer != nullptr) e.writer = *block.writer;
    e.written = block.written;
    for (const SpaceWriterTally& t : block.tallies) e.writers.emplace_back(*t.writer, t);
    e.watchers = block.watchers.size();
    return e;
}

std::vector<SpaceEntry> Space::entries() {
    std::lock_guard<Synchronize> guard(sync);
    timespec now;
    Timer::get_time(&now);
    std::vector<SpaceEntry> all;
    all.reserve(blocks.size());
    for (const auto& entry : blocks) all.push_back(describe(*entry.second, now));
    return all;
}

bool Space::entry(const std::string& key, SpaceEntry* out) {
    std::lock_guard<Synchronize> guard(sync);
    const BaseBlock* b = find(key);
    if (b == nullptr) return false;
    timespec now;
    Timer::get_time(&now);
    if (out != nullptr) *out = describe(*b, now);
    return true;
}

void Space::wake(BaseBlock* block) {
    for (Proxy* p : block->watchers) {
        if (p->is(2)) matching(p->pid(), block);
        p->trigger();
    }
}

bool Space::refuse_validity(const std::string& key, int validity) {
    if (validity >= 0) return false;
    if (reported.insert("validity\n" + key).second) {
        print_line(format_text("Space: write of \"%s\" with negative validity %d ms refused\n",
                               key.c_str(), validity));
    }
    return true;
}

void Space::refuse_type(const char* op, const std::string& key, const std::type_info& wanted,
                        const BaseBlock& held) {
    // One line per key, type and operation: an agent repeating the mistake every tick must
    // not flood the output.
    if (!reported.insert(std::string(op) + "\n" + key + "\n" + wanted.name()).second) return;
    print_line(format_text("Space: %s of \"%s\" as %s refused: the key holds %s\n", op, key.c_str(),
                           type_name(wanted).c_str(), held_type_name(held).c_str()));
}

void Space::trigger_attach(const std::string& pattern, Proxy* proxy, int flags) {
    if (proxy == nullptr) return;
    std::lock_guard<Synchronize> guard(sync);
    proxy->set(flags);
    bool any = false;
    for (auto& entry : blocks) {
        if (wildcard(pattern, entry.first)) {
            entry.second->watchers.insert(proxy);
            any = true;
        }
    }
    if (is_wildcard(pattern) || !any) {
        const auto reg = std::make_pair(pattern, proxy);
        for (const auto& r : registrations) {
            if (r == reg) return;  // the same registration again adds nothing
        }
        registrations.push_back(reg);
    }
}

bool Space::wildcard(const std::string& pattern, const std::string& text) {
    // Two cursors; on a mismatch go back to the most recent star and let it swallow one
    // more character of the text.
    const std::size_t pn = pattern.size();
    const std::size_t tn = text.size();
    const std::size_t none = std::string::npos;
    std::size_t p = 0, t = 0, star = none, resume = 0;
    while (t < tn) {
        const char c = p < pn ? pattern[p] : '\0';
        if (p < pn && c == '?') {
            ++p;
            ++t;
        } else if (p < pn && c == '*') {
            while (p + 1 < pn && pattern[p + 1] == '*') ++p;
            if (p + 1 < pn && (pattern[p + 1] == text[t] || pattern[p + 1] == '?')) {
                star = p;
                resume = t + 1;
                ++p;
            } else {
                ++t;
            }
        } else if (p < pn && c == text[t]) {
            ++p;
            ++t;
        } else {
            if (star == none) return false;
            p = star;
            t = resume;
        }
    }
    while (p < pn && pattern[p] == '*') ++p;
    return p == pn;
}

bool Space::is_wildcard(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

void Space::matching(int pid, BaseBlock* block) { matched[pid].insert(block); }

std::set<const BaseBlock*> Space::matched_blocks(int pid) {
    std::lock_guard<Synchronize> guard(sync);
    auto it = matched.find(pid);
    return it == matched.end() ? std::set<const BaseBlock*>{} : it->second;
}

void Space::run(void*) {
    // The scan's monitor, proxy and timer live as long as the scan, that is until the
    // process ends (the timer thread keeps a pointer to the timer).
    auto* monitor = new Monitor();
    auto* tick = new Proxy(*monitor);
    auto* timer = new Timer(*tick);
    timer->start(20, 20, 20);
    for (;;) {
        Proxy::receive(*monitor);
        std::lock_guard<Synchronize> guard(sync);
        for (auto& entry : blocks) {
            BaseBlock* b = entry.second.get();
            if (!b->expired && !b->isValid()) {
                b->expired = true;  // report each lapse once, until the next write
                wake(b);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Agent

Agent::Agent(std::string key) : config_key(std::move(key)) {}

Agent::Agent(std::string key, Space& s) : config_key(std::move(key)), bound_space(&s) {}

Agent::~Agent() = default;

void Agent::run(void*) {
    // Every write of this thread is shown as this agent's: "LookAtAgent lookConfig".
    const SpaceWriter as(SpaceWriter::class_name(typeid(*this)) + " " + config_key);
    init(config_key);
    while (!killed.load()) {
        Proxy* fired = Proxy::receive(monitor);
        sense_select_act(fired->pid());
    }
}

void Agent::kill() { killed.store(true); }

int Agent::timer_attach(int delay, int period, int align) {
    auto* proxy = new Proxy(monitor);      // lives until the process ends
    auto* timer = new Timer(*proxy);       // held by the timer thread while queued
    timer->start(delay, period, align);
    return proxy->pid();
}

int Agent::trigger_attach(std::string key, int flags) {
    auto* proxy = new Proxy(monitor);  // the Space keeps a pointer to it
    // A write that lands while the agent is busy must still reach it once, or the last
    // value of a key (an operator's final slider position) would never be acted on.
    proxy->keep_pending();
    space().trigger_attach(key, proxy, flags);
    return proxy->pid();
}
