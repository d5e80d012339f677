#pragma once
// Fixed-width numeric aliases shared by the bundled YARP layer.
#include <cstdint>

namespace yarp::conf {

/// A vocabulary word: up to four characters packed little-endian into 32 bits.
using vocab32_t = std::int32_t;
using float32_t = float;
using float64_t = double;

} // namespace yarp::conf
