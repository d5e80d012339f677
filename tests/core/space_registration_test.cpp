// Trigger registrations on the Space: exact keys before and after the key exists, wildcard
// patterns applied to keys created later, one wake-up per write whatever the overlap of
// registrations, and the wildcard matcher itself against a simple reference.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/agentspace.h"
#include "test_support.h"

using core_test::Watcher;

namespace {

using Vec = std::vector<double>;

TEST(SpaceTriggers, ExactKeyRegisteredBeforeItExistsFiresFromTheFirstWrite) {
    Space space;
    Watcher w;
    space.trigger_attach("head_vel", &w.proxy, 1);
    space.write("head_enc", Vec{1}, 0, 1.0f);
    EXPECT_FALSE(w.woke());
    space.write("head_vel", Vec{1}, 0, 1.0f);
    EXPECT_TRUE(w.woke());
    space.write("head_vel", Vec{2}, 0, 1.0f);
    EXPECT_TRUE(w.woke());
    EXPECT_EQ(w.proxy.triggers(), 2u);
}

TEST(SpaceTriggers, RegistrationOnAnExistingKeyWakesNobodyUntilTheNextWrite) {
    Space space;
    Watcher w;
    space.write("head_vel", Vec{1}, 0, 1.0f);
    space.trigger_attach("head_vel", &w.proxy, 1);
    EXPECT_FALSE(w.woke());
    space.write("head_vel", Vec{2}, 0, 1.0f);
    EXPECT_TRUE(w.woke());
}

TEST(SpaceTriggers, WildcardCoversExistingAndLaterKeys) {
    Space space;
    Watcher enc, all;
    space.write("head_enc", Vec{1}, 0, 1.0f);
    space.trigger_attach("*_enc", &enc.proxy, 1);
    space.trigger_attach("*", &all.proxy, 1);
    space.write("head_enc", Vec{2}, 0, 1.0f);
    EXPECT_TRUE(enc.woke());
    space.write("larm_enc", Vec{3}, 0, 1.0f);  // created after the registration
    EXPECT_TRUE(enc.woke());
    space.write("head_vel", Vec{4}, 0, 1.0f);
    EXPECT_FALSE(enc.woke());
    space.write("", Vec{5}, 0, 1.0f);  // a lone star matches even the empty key
    EXPECT_EQ(enc.proxy.triggers(), 2u);
    EXPECT_EQ(all.proxy.triggers(), 4u);
}

TEST(SpaceTriggers, OverlappingRegistrationsGiveOneWakeupPerWrite) {
    Space space;
    Watcher w;
    // Twice on the exact key before it exists, once by pattern, then once more after.
    space.trigger_attach("head_vel", &w.proxy, 1);
    space.trigger_attach("head_vel", &w.proxy, 1);
    space.trigger_attach("head_*", &w.proxy, 1);
    space.write("head_vel", Vec{1}, 0, 1.0f);
    space.trigger_attach("head_vel", &w.proxy, 1);
    space.write("head_vel", Vec{2}, 0, 1.0f);
    EXPECT_EQ(w.proxy.triggers(), 2u);
}

TEST(SpaceTriggers, SeveralWatchersAreAllWokenAndFlagTwoRecordsTheBlock) {
    Space space;
    Watcher a, b;
    space.trigger_attach("ballPos", &a.proxy, 1);
    space.trigger_attach("ball*", &b.proxy, 2);
    EXPECT_TRUE(b.proxy.is(2));
    space.write("ballPos", Vec{1, 2, 320, 240, 1}, 0, 1.0f);
    EXPECT_TRUE(a.woke());
    EXPECT_TRUE(b.woke());
    EXPECT_EQ(space.matched_blocks(b.proxy.pid()).size(), 1u);
    EXPECT_TRUE(space.matched_blocks(a.proxy.pid()).empty());
}

TEST(Wildcard, Examples) {
    EXPECT_TRUE(Space::wildcard("head_*", "head_vel"));
    EXPECT_TRUE(Space::wildcard("head_*", "head_enc"));
    EXPECT_FALSE(Space::wildcard("head_*", "hvConfig"));
    EXPECT_TRUE(Space::wildcard("?a_*", "la_joints"));
    EXPECT_TRUE(Space::wildcard("?a_*", "ra_acc"));
    EXPECT_FALSE(Space::wildcard("?a_*", "larm_vel"));
    EXPECT_TRUE(Space::wildcard("l*_*c", "la_acc"));
    EXPECT_FALSE(Space::wildcard("l*_*c", "la_speed"));
    EXPECT_TRUE(Space::wildcard("*a*c", "la_acc"));
    EXPECT_TRUE(Space::wildcard("*a*c", "ra_acc"));
    EXPECT_FALSE(Space::wildcard("*a*c", "hvConfig"));
    EXPECT_TRUE(Space::wildcard("?", "a"));
    EXPECT_FALSE(Space::wildcard("?", "ab"));
    EXPECT_FALSE(Space::wildcard("?", ""));
    EXPECT_TRUE(Space::wildcard("*", ""));
    EXPECT_TRUE(Space::wildcard("", ""));
    EXPECT_FALSE(Space::wildcard("", "a"));
    EXPECT_FALSE(Space::wildcard("Head_*", "head_vel"));  // case-sensitive
    EXPECT_TRUE(Space::is_wildcard("a?"));
    EXPECT_TRUE(Space::is_wildcard("*"));
    EXPECT_FALSE(Space::is_wildcard("head_vel"));
}

// Plain recursive matcher, obviously right and exponential: the reference.
bool reference_match(const char* p, const char* t) {
    if (*p == '\0') return *t == '\0';
    if (*p == '*') return reference_match(p + 1, t) || (*t != '\0' && reference_match(p, t + 1));
    if (*t == '\0') return false;
    return (*p == '?' || *p == *t) && reference_match(p + 1, t + 1);
}

TEST(Wildcard, AgreesWithAReferenceMatcherOnRandomPatterns) {
    std::mt19937 rng(20240611);
    const std::string pattern_chars = "ab*?", text_chars = "ab";
    std::uniform_int_distribution<int> len(0, 8);
    int matches = 0;
    for (int i = 0; i < 100000; ++i) {
        std::string p, t;
        for (int k = len(rng); k > 0; --k) p += pattern_chars[rng() % pattern_chars.size()];
        for (int k = len(rng); k > 0; --k) t += text_chars[rng() % text_chars.size()];
        const bool expected = reference_match(p.c_str(), t.c_str());
        ASSERT_EQ(Space::wildcard(p, t), expected) << "pattern \"" << p << "\" text \"" << t << '"';
        matches += expected;
    }
    EXPECT_GT(matches, 1000);  // the sample exercises both outcomes
}

}  // namespace
