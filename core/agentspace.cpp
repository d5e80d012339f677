#include "core/agentspace.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A readable type name for diagnostics ("std::vector<double, ...>" rather than mangled).
std::string type_name(const std::type_info& type) {
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = (status == 0 && readable != nullptr) ? readable : type.name();
    std::free(readable);
    return name;
}

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
    if (ms == 0) {
        expiry = timespec{0, 0};
        return;
    }
    Timer::get_time(&expiry);
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

Space::Space() = default;

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

void Space::settle(BaseBlock* block, int validity) {
    // Refused writes too: the value in force gets a fresh validity period and the watchers
    // are told, so they re-read what holds now.
    block->expired = false;
    block->setValidity(validity);
    wake(block);
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
        std::printf("Space: write of \"%s\" with negative validity %d ms refused\n", key.c_str(),
                    validity);
        std::fflush(stdout);
    }
    return true;
}

void Space::refuse_type(const char* op, const std::string& key, const std::type_info& wanted,
                        const BaseBlock& held) {
    // One line per key, type and operation: an agent repeating the mistake every tick must
    // not flood the output.
    if (!reported.insert(std::string(op) + "\n" + key + "\n" + wanted.name()).second) return;
    std::printf("Space: %s of \"%s\" as %s refused: the key holds %s\n", op, key.c_str(),
                type_name(wanted).c_str(), held_type_name(held).c_str());
    std::fflush(stdout);
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
