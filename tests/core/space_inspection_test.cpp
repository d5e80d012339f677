// What the Space tells the inspector: entries (type, value in force, writer, validity left,
// tallies, watchers) and the event trace (refused writes included, bounded, off by default),
// and that with nobody following the trace a write of an existing key allocates nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/agentspace.h"
#include "support/wait.h"
#include "test_support.h"

namespace {

std::atomic<long> allocations{0};
thread_local bool counting = false;

}  // namespace

// Counts the allocations of the thread that asked for it (the hot-path guard below).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Vec = std::vector<double>;
using ac_test::poll_until;

struct Pixel {
    unsigned char r, g, b;
};
/// Shaped like the camera image: the Space recognises it by width(), height() and pixel().
struct FakeImage {
    std::size_t width() const { return 320; }
    std::size_t height() const { return 240; }
    Pixel& pixel(std::size_t, std::size_t) { return p; }
    Pixel p{};
};

class ProbeAgent : public Agent {
public:
    using Agent::Agent;
    void init(std::string) override {
        trigger_attach("stop", 1);
        space_write("head_vel", Vec{1, 2, 3, 4, 5, 6}, 5000, 100.0f);
        wrote = true;
    }
    void sense_select_act(int) override {}
    std::atomic<bool> wrote{false};
};

SpaceEntry entry_of(Space& space, const std::string& key) {
    SpaceEntry e;
    EXPECT_TRUE(space.entry(key, &e)) << key;
    return e;
}

TEST(SpaceEntries, ShowTypeValueWriterValidityAndTalliesPerWriter) {
    Space space;
    ProbeAgent agent("lookConfig", space);
    agent.start(nullptr);
    ASSERT_TRUE(poll_until([&] { return agent.wrote.load(); }));
    core_test::Watcher watcher;
    space.trigger_attach("head_*", &watcher.proxy, 1);
    {
        const SpaceWriter as("EyeVersionAgent search");
        space.write("head_vel", Vec{0, 0, 0, 0, 9, 0}, 10000, 1.0f);  // refused: 100 in force
    }

    SpaceEntry e = entry_of(space, "head_vel");
    EXPECT_EQ(e.type, "vector of 6 doubles");
    EXPECT_EQ(e.value_json, "[1,2,3,4,5,6]");
    EXPECT_EQ(e.priority, 100.0f);
    EXPECT_EQ(e.writer, "ProbeAgent lookConfig");
    EXPECT_FALSE(e.lapsed);
    EXPECT_FALSE(e.never_lapses);
    // The refused write restarted the validity with its own 10 s: the stale command holds.
    EXPECT_GT(e.valid_ms, 5000);
    EXPECT_LE(e.valid_ms, 10000);
    EXPECT_EQ(e.watchers, 1u);
    ASSERT_EQ(e.writers.size(), 2u);
    EXPECT_EQ(e.writers[0].first, "ProbeAgent lookConfig");
    EXPECT_EQ(e.writers[0].second.accepted, 1u);
    EXPECT_EQ(e.writers[1].first, "EyeVersionAgent search");
    EXPECT_EQ(e.writers[1].second.accepted, 0u);
    EXPECT_EQ(e.writers[1].second.refused, 1u);
    EXPECT_NE(e.json().find("\"refused\":{\"ProbeAgent lookConfig\":0,\"EyeVersionAgent search\":1}"),
              std::string::npos)
        << e.json();

    space.write("cfg", ConfBlock{"MotorAgent Head", "head_joints", "", "", "dev", "/l", "/r"}, 0,
                1.0f);
    e = entry_of(space, "cfg");
    EXPECT_EQ(e.type, "ConfBlock");
    EXPECT_EQ(e.value_json.rfind("{\"name\":\"MotorAgent Head\",\"joints_key\":\"head_joints\",", 0), 0u)
        << e.value_json;
    EXPECT_TRUE(e.never_lapses);
    EXPECT_NE(e.json().find("\"valid_ms\":null"), std::string::npos);
    EXPECT_EQ(e.writer, "unnamed thread");

    space.write("leftImage", std::make_shared<const FakeImage>(), 0, 1.0f);
    EXPECT_EQ(entry_of(space, "leftImage").type, "RGB image 320x240");
    EXPECT_EQ(entry_of(space, "leftImage").value_json, "\"320x240\"");
    space.write("text", std::string("say \"hi\"\n"), 0, 1.0f);
    EXPECT_EQ(entry_of(space, "text").value_json, "\"say \\\"hi\\\"\\n\"");
    EXPECT_FALSE(space.entry("missing", nullptr));
    EXPECT_EQ(space.entries().size(), 4u);
    agent.kill();
    space.write("stop", 0, 0, 1.0f);
    EXPECT_EQ(agent.join(), 0);
}

TEST(SpaceEntries, LapsedValueIsShownAsLapsedAndReplaceableByAnyWriter) {
    Space space;
    space.write("head_vel", Vec{1}, 20, 100.0f);
    ASSERT_TRUE(poll_until([&] { return entry_of(space, "head_vel").lapsed; }));
    EXPECT_EQ(entry_of(space, "head_vel").valid_ms, 0);
    EXPECT_EQ(entry_of(space, "head_vel").value_json, "[1]") << "the last value stays visible";
    space.write("head_vel", Vec{2}, 0, 1.0f);
    const SpaceEntry e = entry_of(space, "head_vel");
    EXPECT_FALSE(e.lapsed);
    EXPECT_EQ(e.priority, 1.0f);
    EXPECT_EQ(e.writers[0].second.accepted, 2u);
}

TEST(SpaceEvents, EveryWriteWhileFollowedAcceptedOrRefusedOldestFirst) {
    Space space;
    space.write("head_vel", Vec{0}, 0, 1.0f);  // nobody follows yet: no event
    space.capture_events(true);
    space.write("head_vel", Vec{1}, 0, 100.0f);
    space.write("head_vel", Vec{2}, 250, 10.0f);  // refused
    space.write("head_vel", 3.0, 0, 1.0f);        // of another type: not a write at all
    std::vector<std::string> lines;
    std::vector<bool> accepted;
    space.event_buffer().drain([&](const SpaceEvent& e) {
        lines.push_back(e.json());
        accepted.push_back(e.accepted);
    });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(accepted, (std::vector<bool>{true, false}));
    EXPECT_NE(lines[1].find(",\"key\":\"head_vel\",\"writer\":\"unnamed thread\",\"priority\":10,"
                            "\"validity_ms\":250,\"accepted\":false,\"value\":[2]}"),
              std::string::npos)
        << lines[1];
    EXPECT_EQ(lines[1].rfind("{\"t\":", 0), 0u);

    space.capture_events(false);
    space.write("head_vel", Vec{4}, 0, 1.0f);
    EXPECT_EQ(space.event_buffer().drain([](const SpaceEvent&) {}), 0u);
}

TEST(SpaceEvents, FullBufferDropsNewEventsCountsThemAndNeverBlocksTheWriter) {
    Space space(8);
    space.capture_events(true);
    for (int i = 0; i < 20; ++i) space.write("n", i, 0, 1.0f);
    std::vector<std::string> values;
    space.event_buffer().drain([&](const SpaceEvent& e) { values.push_back(e.value_json); });
    EXPECT_EQ(values, (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7"}));
    EXPECT_EQ(space.event_buffer().dropped(), 12u);
    EXPECT_EQ(space.read("n", -1), 19) << "dropping an event never drops the write";
    space.write("n", 20, 0, 1.0f);  // room again after the drain
    EXPECT_EQ(space.event_buffer().drain([](const SpaceEvent&) {}), 1u);
}

TEST(SpaceHotPath, WriteOfAnExistingKeyAllocatesNothingWhileNobodyFollows) {
    Space space;
    core_test::Watcher watcher;
    space.trigger_attach("head_vel", &watcher.proxy, 1);
    const Vec command{0.1, -0.2, 0.3, 0.0, 1.5, -1.5};
    const SpaceWriter as("LookAtAgent lookConfig");
    space.write("head_vel", command, 0, 100.0f);  // creates the key and this writer's tally
    allocations = 0;
    counting = true;
    for (int i = 0; i < 1000; ++i) {
        space.write("head_vel", command, i % 2 == 0 ? 0 : 300, i % 2 == 0 ? 100.0f : 1.0f);
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(entry_of(space, "head_vel").writers[0].second.accepted, 501u);
}

}  // namespace
