// The Agent base: init on the agent's own thread before any activation, activation ids that
// name the source, Space writes during an activation collapsing into one follow-up, and kill.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/agentspace.h"
#include "support/wait.h"
#include "test_support.h"

using ac_test::poll_until;

namespace {

using Vec = std::vector<double>;

/// Records what happens on its thread; one activation may be held open by the test.
class ProbeAgent : public Agent {
public:
    using Agent::Agent;

    void init(std::string key) override {
        init_thread = std::this_thread::get_id();
        config = space_read(key, AgentBlock{"probe", "cmd", "", "", 0, 0});
        trigger_id = trigger_attach(config.input_key, 1);
        if (config.delay_ms > 0) timer_id = timer_attach(config.delay_ms, 0, 0);
        initialised.store(true);
    }

    void sense_select_act(int id) override {
        std::unique_lock<std::mutex> lock(mutex);
        ids.push_back(id);
        act_thread = std::this_thread::get_id();
        init_seen_first = init_seen_first && initialised.load();
        busy = true;
        changed.notify_all();
        changed.wait(lock, [&] { return !hold; });
        busy = false;
    }

    void run(void* arg) override {
        Agent::run(arg);
        ended.store(true);
    }

    void set_hold(bool h) {
        std::lock_guard<std::mutex> lock(mutex);
        hold = h;
        changed.notify_all();
    }
    std::vector<int> seen() {
        std::lock_guard<std::mutex> lock(mutex);
        return ids;
    }
    bool is_busy() {
        std::lock_guard<std::mutex> lock(mutex);
        return busy;
    }

    AgentBlock config;
    std::thread::id init_thread, act_thread;
    std::atomic<bool> initialised{false}, ended{false};
    int trigger_id = -1, timer_id = -1;
    bool init_seen_first = true;

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> ids;
    bool busy = false, hold = false;
};

/// Ends a probe whose thread waits for a trigger on `key`.
void finish(Space& space, ProbeAgent& agent, const std::string& key) {
    agent.set_hold(false);
    agent.kill();
    space.write(key, Vec{0}, 0, 1.0f);
    ASSERT_TRUE(poll_until([&] { return agent.ended.load(); }));
    EXPECT_EQ(agent.join(), 0);
}

TEST(AgentLifecycle, InitRunsOnTheAgentThreadAndIdsNameTheSource) {
    Space space;
    AgentBlock conf{"probe", "ball*", "", "", 30, 0};  // one-shot timer 30 ms after init
    space.write("bConfig", conf, 0, 1.0f);
    ProbeAgent agent("bConfig", space);
    ASSERT_EQ(agent.start(nullptr), 0);
    ASSERT_TRUE(poll_until([&] { return agent.initialised.load(); }));
    EXPECT_EQ(agent.config.input_key, "ball*");  // read its configuration block
    EXPECT_NE(agent.trigger_id, agent.timer_id);

    ASSERT_TRUE(poll_until([&] { return agent.seen().size() == 1; }));  // the timer's tick
    space.write("ballPos", Vec{1, 2, 320, 240, 1}, 0, 1.0f);
    ASSERT_TRUE(poll_until([&] { return agent.seen().size() == 2; }));
    EXPECT_EQ(agent.seen(), (std::vector<int>{agent.timer_id, agent.trigger_id}));
    EXPECT_EQ(agent.init_thread, agent.act_thread);
    EXPECT_NE(agent.init_thread, std::this_thread::get_id());
    EXPECT_TRUE(agent.init_seen_first);
    finish(space, agent, "ballPos");
}

TEST(AgentLifecycle, MissingConfigurationLeavesTheDefaults) {
    Space space;
    ProbeAgent agent("noSuchConfig", space);
    ASSERT_EQ(agent.start(nullptr), 0);
    ASSERT_TRUE(poll_until([&] { return agent.initialised.load(); }));
    EXPECT_EQ(agent.config.input_key, "cmd");
    finish(space, agent, "cmd");
}

TEST(AgentWakeups, WritesWhileBusyCollapseIntoOneFollowUpActivation) {
    // Without a kept wake-up the last of these writes would never be acted on.
    Space space;
    ProbeAgent agent("cfg", space);
    agent.set_hold(true);
    ASSERT_EQ(agent.start(nullptr), 0);
    ASSERT_TRUE(poll_until([&] { return agent.initialised.load(); }));
    space.write("cmd", Vec{1}, 0, 1.0f);
    ASSERT_TRUE(poll_until([&] { return agent.is_busy(); }));
    for (int i = 0; i < 3; ++i) space.write("cmd", Vec{2}, 0, 1.0f);  // while busy
    agent.set_hold(false);
    ASSERT_TRUE(poll_until([&] { return agent.seen().size() == 2; }));  // one follow-up
    std::this_thread::sleep_for(std::chrono::milliseconds(100));      // room for a backlog
    EXPECT_EQ(agent.seen().size(), 2u);
    space.write("cmd", Vec{3}, 0, 1.0f);  // and the next write after that is heard too
    ASSERT_TRUE(poll_until([&] { return agent.seen().size() == 3; }));
    finish(space, agent, "cmd");
}

TEST(AgentWakeups, KeptNotificationIsDeliveredOncePlainOneIsForgotten) {
    Monitor monitor;
    Proxy plain(monitor), kept(monitor);
    kept.keep_pending();
    plain.trigger();  // nobody waits: forgotten
    kept.trigger();   // nobody waits: kept for the next wait
    EXPECT_EQ(Proxy::receive(monitor), &kept);
    timespec past{};
    Timer::get_time(&past);
    EXPECT_EQ(monitor.wait(&past), nullptr);  // delivered once only
}

TEST(AgentWakeups, KillEndsTheLoopOnlyAfterTheNextWakeup) {
    Space space;
    ProbeAgent agent("cfg", space);
    ASSERT_EQ(agent.start(nullptr), 0);
    ASSERT_TRUE(poll_until([&] { return agent.initialised.load(); }));
    agent.kill();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(agent.ended.load());  // still waiting for a trigger
    space.write("cmd", Vec{1}, 0, 1.0f);
    ASSERT_TRUE(poll_until([&] { return agent.ended.load(); }));
    EXPECT_EQ(agent.seen().size(), 1u);  // the wake-up was handled before the loop ended
    EXPECT_EQ(agent.join(), 0);
}

/// A periodic agent whose activation takes longer than its period.
class SlowPeriodicAgent : public Agent {
public:
    using Agent::Agent;
    void init(std::string) override { timer_attach(1000, 100, 1000); }
    void sense_select_act(int) override {
        const int now_running = ++running;
        if (now_running > max_running) max_running = now_running;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));  // the work
        ++activations;
        --running;
    }
    std::atomic<int> activations{0}, running{0}, max_running{0};
};

TEST(AgentWakeups, SlowPeriodicAgentSkipsTicksInsteadOfOverlapping) {
    // 100 ms ticks, 250 ms of work: the two ticks that fire during an activation are lost,
    // so it runs about every third tick, never twice at once and never back to back on a
    // backlog. The agent is never freed: its cyclic timer goes on ticking its monitor.
    Space space;
    auto* agent = new SlowPeriodicAgent("cfg", space);
    ASSERT_EQ(agent->start(nullptr), 0);
    // Counted from the end of the first activation (250 ms after its tick) for 3 s: the
    // activations starting at 0, 300, ..., 3000 ms have finished, 11 in all. Working off a
    // backlog (one every 250 ms) would give 13; far fewer would mean the agent waited for
    // more than the first tick after each activation.
    ASSERT_TRUE(poll_until([&] { return agent->activations.load() >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const int done = agent->activations.load();
    std::printf("%d activations finished in 3.25 s (every third tick gives 11)\n", done);
    EXPECT_GE(done, 7);
    EXPECT_LE(done, 12);
    EXPECT_EQ(agent->max_running.load(), 1);
    agent->kill();
    EXPECT_EQ(agent->join(), 0);  // ends after the next tick
}

}  // namespace
