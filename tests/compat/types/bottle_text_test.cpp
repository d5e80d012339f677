// Text form of bottles: what the simulator's world port and the operators' tools exchange.
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <yarp/os/Bottle.h>
#include <yarp/os/Vocab.h>

using yarp::os::Bottle;
using yarp::os::Value;

TEST(BottleText, WorldCommandsPrintExactlyAndReadBack)
{
    Bottle set;
    set.addString("world");
    set.addString("set");
    set.addString("ball");
    set.addFloat64(-0.15);
    set.addFloat64(0.553);
    set.addFloat64(0.35);
    EXPECT_EQ(set.toString(), "world set ball -0.15 0.553 0.35");
    const Bottle parsed(set.toString());
    EXPECT_EQ(parsed, set);
    ASSERT_TRUE(parsed.get(3).isFloat64());
    EXPECT_EQ(parsed.get(4).asFloat64(), 0.553);

    const Bottle get("world get lhand");
    ASSERT_EQ(get.size(), 3u);
    EXPECT_TRUE(get.get(2).isString());
    EXPECT_EQ(get.get(2).asString(), "lhand");
    EXPECT_EQ(get.toString(), "world get lhand");
}

TEST(BottleText, IntegersAndFloatsStayDistinct)
{
    Bottle b;
    b.addInt32(3);
    b.addFloat64(3.0);
    b.addFloat64(-0.0);
    b.addFloat64(1e20);
    b.addInt64(std::int64_t{1} << 40);
    EXPECT_EQ(b.toString(), "3 3.0 -0.0 1e+20 1099511627776");

    const Bottle parsed(b.toString());
    EXPECT_TRUE(parsed.get(0).isInt32());
    EXPECT_TRUE(parsed.get(1).isFloat64());
    EXPECT_TRUE(std::signbit(parsed.get(2).asFloat64()));
    EXPECT_TRUE(parsed.get(3).isFloat64());
    EXPECT_TRUE(parsed.get(4).isInt64());
    EXPECT_EQ(parsed.get(4).asInt64(), std::int64_t{1} << 40);

    // Number spellings people type by hand, and words that only look like numbers.
    const Bottle typed("+5 -12 .5 5. 2e3 1E-2 99999999999999999999 1e999 1e-999 0x10 1.5abc - +");
    EXPECT_EQ(typed.get(0).asInt32(), 5);
    EXPECT_EQ(typed.get(1).asInt32(), -12);
    EXPECT_EQ(typed.get(2).asFloat64(), 0.5);
    EXPECT_EQ(typed.get(3).asFloat64(), 5.0);
    EXPECT_EQ(typed.get(4).asFloat64(), 2000.0);
    EXPECT_EQ(typed.get(5).asFloat64(), 0.01);
    EXPECT_TRUE(typed.get(6).isFloat64()); // beyond 64 bits: still a number
    EXPECT_TRUE(std::isinf(typed.get(7).asFloat64()));
    EXPECT_EQ(typed.get(8).asFloat64(), 0.0);
    for (std::size_t i = 9; i < typed.size(); ++i) {
        EXPECT_TRUE(typed.get(i).isString()) << typed.get(i).toString();
    }
}

TEST(BottleText, FloatsPrintAsShortestTextThatReadsBack)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 2000; ++i) {
        const double x = std::ldexp(unit(rng), exponent(rng));
        Bottle b;
        b.addFloat64(x);
        const Bottle back(b.toString());
        ASSERT_TRUE(back.get(0).isFloat64()) << b.toString();
        ASSERT_EQ(back.get(0).asFloat64(), x) << b.toString();
    }
    Bottle special;
    special.addFloat64(std::numeric_limits<double>::infinity());
    special.addFloat64(-std::numeric_limits<double>::infinity());
    special.addFloat64(std::nan(""));
    EXPECT_EQ(special.toString(), "inf -inf nan");
    const Bottle back(special.toString());
    EXPECT_TRUE(std::isinf(back.get(1).asFloat64()) && back.get(1).asFloat64() < 0);
    EXPECT_TRUE(std::isnan(back.get(2).asFloat64()));
}

TEST(BottleText, StringsAreQuotedWhenTheyWouldNotReadBack)
{
    const char* tricky[] = {"hello world", "", "say \"hi\"", "back\\slash", "tab\there", "line\nbreak",
                            "42", "-0.5", "inf", "nan", "[ok]", "(paren", "ctrl\x01", "caf\xc3\xa9"};
    Bottle b;
    for (const char* s : tricky) {
        b.addString(s);
    }
    const Bottle back(b.toString());
    ASSERT_EQ(back.size(), b.size()) << b.toString();
    for (std::size_t i = 0; i < b.size(); ++i) {
        EXPECT_TRUE(back.get(i).isString()) << i;
        EXPECT_EQ(back.get(i).asString(), b.get(i).asString()) << b.toString();
    }
    EXPECT_EQ(Value(std::string("hello world")).toString(), "\"hello world\"");
    EXPECT_EQ(Value(std::string("plain")).toString(), "plain");

    // Hand-written escapes; an unknown escape keeps its backslash.
    const Bottle typed(R"("a\"b" "c\\d" "\x41\x4a" "C:\temp\x" "open ended)");
    EXPECT_EQ(typed.get(0).asString(), "a\"b");
    EXPECT_EQ(typed.get(1).asString(), "c\\d");
    EXPECT_EQ(typed.get(2).asString(), "AJ");
    EXPECT_EQ(typed.get(3).asString(), "C:\temp\\x");
    EXPECT_EQ(typed.get(4).asString(), "open ended");
}

TEST(BottleText, NestedListsAndVocabs)
{
    const Bottle b("set (pos (1 2.5 \"a b\")) () [vel] end");
    ASSERT_EQ(b.size(), 5u);
    ASSERT_TRUE(b.get(1).isList());
    const Bottle* pos = b.get(1).asList();
    EXPECT_EQ(pos->get(0).asString(), "pos");
    ASSERT_TRUE(pos->get(1).isList());
    EXPECT_EQ(pos->get(1).asList()->get(2).asString(), "a b");
    EXPECT_EQ(b.get(2).asList()->size(), 0u);
    ASSERT_TRUE(b.get(3).isVocab32());
    EXPECT_EQ(b.get(3).asVocab32(), yarp::os::createVocab32('v', 'e', 'l'));
    EXPECT_EQ(b.toString(), "set (pos (1 2.5 \"a b\")) () [vel] end");
    EXPECT_EQ(Bottle(b.toString()), b);

    // Bracketed words that are not vocabs stay strings.
    const Bottle words("[toolong] [] [a b]");
    EXPECT_TRUE(words.get(0).isString());
    EXPECT_TRUE(words.get(1).isString());
}

TEST(BottleText, BadlyFormedTextIsReadPredictably)
{
    EXPECT_EQ(Bottle("a (b c").toString(), "a (b c)");     // unclosed list closed at the end
    EXPECT_EQ(Bottle("a ) b").toString(), "a b");          // stray ')' skipped
    EXPECT_EQ(Bottle("x(y)z").toString(), "x (y) z");      // parentheses split words
    EXPECT_EQ(Bottle("  \t\n ").size(), 0u);

    // Nesting deeper than the limit is refused as a whole, at the limit it is accepted.
    const std::string atLimit = std::string(Bottle::maxNesting, '(') + "x" + std::string(Bottle::maxNesting, ')');
    EXPECT_EQ(Bottle(atLimit).toString(), atLimit);
    Bottle deep("keep");
    deep.fromString(std::string(100000, '('));
    EXPECT_EQ(deep.size(), 0u);
}

TEST(BottleLookup, GetPastEndYieldsNullThatCannotBeOverwritten)
{
    Bottle b("world get lhand");
    Value& missing = b.get(3);
    EXPECT_TRUE(missing.isNull());
    EXPECT_EQ(missing.asFloat64(), 0.0);
    EXPECT_EQ(missing.asString(), "");
    EXPECT_EQ(missing.asList(), nullptr);

    // A careless write to the shared null must not leak into later failed lookups.
    b.get(100) = Value(5);
    b.find("nothing") = Value(std::string("oops"));
    Value moved = std::move(b.get(7));
    EXPECT_TRUE(moved.isNull());
    EXPECT_TRUE(b.get(3).isNull());
    EXPECT_TRUE(Bottle().find("nothing").isNull());
    EXPECT_EQ(b.size(), 3u);
}

TEST(BottleLookup, FindReadsKeyValuePairsAndGroups)
{
    const Bottle b("mode vel (speed 12.5) (joints 0 1 2) (empty) last");
    EXPECT_EQ(b.find("mode").asString(), "vel");
    EXPECT_EQ(b.find("speed").asFloat64(), 12.5);
    EXPECT_EQ(b.find("joints").asInt32(), 0);
    EXPECT_TRUE(b.check("speed"));
    EXPECT_TRUE(b.check("last"));
    EXPECT_TRUE(b.find("last").isNull()); // a key with nothing after it
    EXPECT_FALSE(b.check("missing"));
    EXPECT_EQ(b.check("missing", Value(3)).asInt32(), 3);
    EXPECT_EQ(b.check("mode", Value(3)).asString(), "vel");
}

TEST(BottleEditing, ListsStayValidWhileTheParentGrowsAndCopiesAreDeep)
{
    Bottle b;
    Bottle& first = b.addList();
    for (int i = 0; i < 100; ++i) {
        b.addInt32(i); // forces the parent's storage to move
    }
    first.addString("inside");
    EXPECT_EQ(b.get(0).asList()->get(0).asString(), "inside");

    Bottle copy = b;
    copy.get(0).asList()->addInt32(1);
    EXPECT_EQ(b.get(0).asList()->size(), 1u);
    EXPECT_EQ(copy.get(0).asList()->size(), 2u);

    // Assigning a bottle or a value from something nested inside it.
    Bottle nested("(a (b c)) d");
    nested = *nested.get(0).asList();
    EXPECT_EQ(nested.toString(), "a (b c)");
    Value& slot = nested.get(1);
    slot = slot.asList()->get(1);
    EXPECT_EQ(nested.toString(), "a c");
    Bottle moving("(x (y z))");
    Value& outer = moving.get(0);
    outer = std::move(outer.asList()->get(1));
    EXPECT_EQ(moving.toString(), "(y z)");
    nested.append(nested);
    EXPECT_EQ(nested.toString(), "a c a c");
}
