#pragma once
// Longest message a port takes from a connection. A longer frame costs its sender the
// connection before anything is allocated for it, so a peer cannot make a port hold more
// than this per connection.
#include <cstdint>

namespace yarp::os::impl {

/// Plain ports and buffered ports of bottles and vectors: requests, replies and small
/// streams (a 640x480 RGB image fits as well). A single-threaded server decodes and
/// refuses a request of this size in a fraction of a second, so one huge request does not
/// hold up the next callers for long.
constexpr std::uint64_t defaultMessageLimit = std::uint64_t{1} << 20;
/// Buffered ports of images (a 3840x2160 RGBA image is 33 MB).
constexpr std::uint64_t imageMessageLimit = std::uint64_t{64} << 20;

} // namespace yarp::os::impl
