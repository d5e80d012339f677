#pragma once
// Text form of bottle elements, shared by Value and Bottle: how numbers, strings and vocabs
// are written and how a bare word is read back.
#include <string>

#include <yarp/conf/numeric.h>

namespace yarp::os {
class Value;
}

namespace yarp::os::impl {

/// Shortest text that reads back to the same double; an integral value keeps ".0" so it
/// reads back as a float; infinities and NaN as "inf", "-inf", "nan".
std::string formatFloat64(double value);

/// `[abc]` for a printable vocab, else the decimal code.
std::string formatVocab32(yarp::conf::vocab32_t code);

/// The string as a bare word when it reads back as the same string, otherwise quoted with
/// backslash escapes.
std::string formatString(const std::string& text);

/// Appends the quoted, escaped form of `text` to `out`.
void appendQuoted(std::string& out, const std::string& text);

/// The value a bare (unquoted) word stands for: integer, float, vocab, or else the string.
Value parseWord(const std::string& word);

/// Characters that end a bare word.
bool isWordBreak(char c);

} // namespace yarp::os::impl
