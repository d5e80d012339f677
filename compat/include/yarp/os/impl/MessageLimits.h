#pragma once
// Longest message a port takes from a connection. A longer frame costs its sender the
// connection before anything is allocated for it, so a peer cannot make a port hold more
// than this per connection.
#include <cstdint>

namespace yarp::os::impl {

/// Plain ports and buffered ports of bottles and vectors: requests, replies and small
/// streams (a 640x480 RGB image fits as well).
constexpr std::uint64_t defaultMessageLimit = std::uint64_t{4} << 20;
/// Buffered ports of images (a 3840x2160 RGBA image is 33 MB).
constexpr std::uint64_t imageMessageLimit = std::uint64_t{64} << 20;

} // namespace yarp::os::impl
