#pragma once
// Vocabulary words: short tags (up to four characters) packed into one 32-bit integer, used
// for control modes and protocol verbs.
#include <string>

#include <yarp/conf/numeric.h>

namespace yarp::os {

/// Packs up to four characters little-endian: a | b<<8 | c<<16 | d<<24.
constexpr yarp::conf::vocab32_t createVocab32(char a, char b = 0, char c = 0, char d = 0)
{
    return static_cast<yarp::conf::vocab32_t>(
        static_cast<std::uint32_t>(static_cast<unsigned char>(a))
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8)
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16)
        | (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24));
}

namespace Vocab32 {

/// Packs the first four characters of `text` (shorter text leaves the high bytes zero).
yarp::conf::vocab32_t encode(const std::string& text);

/// The characters of a vocabulary word, up to the first zero byte.
std::string decode(yarp::conf::vocab32_t code);

} // namespace Vocab32

} // namespace yarp::os
