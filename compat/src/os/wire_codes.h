#pragma once
// Tags and element codes of the wire form of bottles, values and properties.
#include <cstdint>

namespace yarp::os::wire {

constexpr std::int32_t bottleTag = 0x31544f42;   // "BOT1"
constexpr std::int32_t valueTag = 0x314c4156;    // "VAL1"
constexpr std::int32_t propertyTag = 0x31505250; // "PRP1"

constexpr std::int8_t itemNull = 0; // only as a standalone Value, never inside a list
constexpr std::int8_t itemInt32 = 1;
constexpr std::int8_t itemInt64 = 2;
constexpr std::int8_t itemFloat64 = 3;
constexpr std::int8_t itemString = 4;
constexpr std::int8_t itemVocab32 = 5;
constexpr std::int8_t itemList = 6;

/// Smallest encoding of one list element (type byte + 4-byte payload or count): a count
/// larger than remaining / this cannot be genuine.
constexpr std::size_t minItemBytes = 5;

} // namespace yarp::os::wire
