// Value conversions, vocabulary words and Property: the configuration a device reads.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include <yarp/os/Bottle.h>
#include <yarp/os/Property.h>
#include <yarp/os/Value.h>
#include <yarp/os/Vocab.h>

using yarp::os::Bottle;
using yarp::os::Property;
using yarp::os::Value;

TEST(Vocab, PacksCharactersLittleEndian)
{
    static_assert(yarp::os::createVocab32('p', 'o', 's') == ('p' | ('o' << 8) | ('s' << 16)));
    static_assert(yarp::os::createVocab32('a', 'b', 'c', 'd') == ('a' | ('b' << 8) | ('c' << 16) | ('d' << 24)));
    EXPECT_EQ(yarp::os::Vocab32::encode("vel"), yarp::os::createVocab32('v', 'e', 'l'));
    EXPECT_EQ(yarp::os::Vocab32::encode("toolong"), yarp::os::createVocab32('t', 'o', 'o', 'l'));
    EXPECT_EQ(yarp::os::Vocab32::decode(yarp::os::createVocab32('i', 'd', 'l')), "idl");
    EXPECT_EQ(yarp::os::Vocab32::decode(0), "");
}

TEST(ValueConversion, NumbersConvertAndNonNumbersGiveZero)
{
    EXPECT_EQ(Value(7).asFloat64(), 7.0);
    EXPECT_EQ(Value(2.9).asInt32(), 2);
    EXPECT_EQ(Value(-2.9).asInt64(), -2);
    EXPECT_EQ(Value(std::string("12")).asInt32(), 0); // a string is not a number
    EXPECT_EQ(Value(std::string("12")).asFloat64(), 0.0);
    EXPECT_EQ(Value(Bottle("1 2")).asFloat64(), 0.0);
    EXPECT_EQ(Value().asInt32(), 0);
    EXPECT_EQ(Value(3).asString(), "");

    // Out-of-range conversions saturate instead of invoking undefined behaviour.
    EXPECT_EQ(Value(1e300).asInt32(), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(Value(-1e300).asInt64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Value(std::nan("")).asInt32(), 0);
    EXPECT_EQ(Value(std::int64_t{1} << 40).asInt32(), std::numeric_limits<std::int32_t>::max());

    const Value vocab(std::string("pos"), true);
    EXPECT_TRUE(vocab.isVocab32());
    EXPECT_EQ(vocab.asVocab32(), yarp::os::createVocab32('p', 'o', 's'));
    EXPECT_EQ(vocab.asString(), "pos");
    EXPECT_EQ(vocab.toString(), "[pos]");
    // A code with unprintable bytes prints as its number.
    EXPECT_EQ(Value(yarp::os::createVocab32('a', '\x01'), true).toString(), std::to_string(yarp::os::createVocab32('a', '\x01')));
}

TEST(ValueCopy, CopiesAreIndependentAndMovesEmptyTheSource)
{
    Value list(Bottle("1 (2 3)"));
    Value copy = list;
    copy.asList()->addInt32(4);
    EXPECT_EQ(list.toString(), "(1 (2 3))");
    EXPECT_EQ(copy.toString(), "(1 (2 3) 4)");

    Value moved = std::move(copy);
    EXPECT_EQ(moved.toString(), "(1 (2 3) 4)");
    EXPECT_TRUE(copy.isNull()); // NOLINT(bugprone-use-after-move): documented state

    Value text(std::string("abc"));
    text = Value(2.5);
    EXPECT_TRUE(text.isFloat64());
    EXPECT_EQ(text.asString(), "");
}

TEST(PropertyMap, PutFindCheckAndReplace)
{
    Property p;
    p.put("device", "remote_controlboard");
    p.put("local", std::string("/ac/head"));
    p.put("axes", 6);
    p.put("speed", 12.5);
    EXPECT_EQ(p.find("device").asString(), "remote_controlboard");
    EXPECT_TRUE(p.find("axes").isInt32());
    EXPECT_TRUE(p.find("speed").isFloat64());
    EXPECT_TRUE(p.check("local"));
    EXPECT_FALSE(p.check("remote"));
    EXPECT_TRUE(p.find("remote").isNull());
    EXPECT_EQ(p.check("remote", Value(std::string("none"))).asString(), "none");

    p.put("axes", 3.0);
    EXPECT_TRUE(p.find("axes").isFloat64());
    EXPECT_EQ(p.size(), 4u);
    p.put("copy", p.find("device")); // a value taken from the same property
    EXPECT_EQ(p.find("copy").asString(), "remote_controlboard");
    p.unput("copy");
    EXPECT_FALSE(p.check("copy"));

    // Writing through a failed lookup must not create the key or change the null value.
    p.find("ghost") = Value(1);
    EXPECT_FALSE(p.check("ghost"));
    EXPECT_TRUE(p.find("ghost").isNull());

    // Searched through the interface a device's open() receives.
    const yarp::os::Searchable& config = p;
    EXPECT_EQ(config.find("local").asString(), "/ac/head");
}

TEST(PropertyText, GroupsReadAndPrintSorted)
{
    Property p("(remote /icubSim/head) (device remote_controlboard) (joints 0 1 2) stray (lonely)");
    EXPECT_EQ(p.find("remote").asString(), "/icubSim/head");
    ASSERT_TRUE(p.find("joints").isList());
    EXPECT_EQ(p.find("joints").asList()->size(), 3u);
    EXPECT_FALSE(p.check("stray"));
    EXPECT_FALSE(p.check("lonely"));
    EXPECT_EQ(p.toString(), "(device remote_controlboard) (joints (0 1 2)) (remote /icubSim/head)");

    Property q;
    q.put("name", "two words");
    EXPECT_EQ(Property(q.toString()).find("name").asString(), "two words");
}
