#include "bottle_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

#include <yarp/os/Value.h>
#include <yarp/os/Vocab.h>

namespace yarp::os::impl {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isVocabChar(char c)
{
    return c > ' ' && c < 0x7f && c != '[' && c != ']' && c != '(' && c != ')' && c != '"' && c != '\\';
}

/// Checks `text` against the number grammar: [+-]? (d+ (. d*)? | . d+) ([eE] [+-]? d+)?
/// Sets `isFloat` when it has a fraction or an exponent.
bool matchNumber(const std::string& text, bool& isFloat)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t intDigits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++intDigits;
    }
    std::size_t fracDigits = 0;
    isFloat = false;
    if (i < n && text[i] == '.') {
        isFloat = true;
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0) {
        return false;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        isFloat = true;
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        std::size_t expDigits = 0;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) {
            return false;
        }
    }
    return i == n;
}

/// Decimal exponent of the leading significant digit of a text that matched the number
/// grammar; used to tell overflow from underflow when the value is out of range.
long leadingExponent(const std::string& text)
{
    std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    long magnitude = 0;
    bool seenSignificant = false;
    long intDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        if (text[i] != '0' || seenSignificant) {
            seenSignificant = true;
            ++intDigits;
        }
    }
    if (seenSignificant) {
        magnitude = intDigits - 1;
    } else if (i < text.size() && text[i] == '.') {
        ++i;
        long zeros = 0;
        while (i < text.size() && text[i] == '0') {
            ++zeros;
            ++i;
        }
        magnitude = -(zeros + 1);
    }
    while (i < text.size() && text[i] != 'e' && text[i] != 'E') {
        ++i;
    }
    long exponent = 0;
    if (i < text.size()) {
        ++i;
        bool negative = false;
        if (text[i] == '+' || text[i] == '-') {
            negative = text[i] == '-';
            ++i;
        }
        for (; i < text.size(); ++i) {
            // Saturate: only the sign of the total matters for out-of-range values.
            if (exponent < 100000) {
                exponent = exponent * 10 + (text[i] - '0');
            }
        }
        if (negative) {
            exponent = -exponent;
        }
    }
    return magnitude + exponent;
}

double parseFloat(const std::string& text)
{
    const bool negative = text[0] == '-';
    const char* begin = text.data() + ((text[0] == '+' || text[0] == '-') ? 1 : 0);
    const char* end = text.data() + text.size();
    double value = 0.0;
    // from_chars is locale-independent, unlike strtod (a GUI may switch LC_NUMERIC).
    const auto result = std::from_chars(begin, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = leadingExponent(text) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

} // namespace

bool isWordBreak(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '(' || c == ')'
        || c == '"';
}

std::string formatFloat64(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    bool integral = true;
    for (char c : text) {
        if (!isDigit(c) && c != '-') {
            integral = false;
            break;
        }
    }
    if (integral) {
        text += ".0";
    }
    return text;
}

std::string formatVocab32(yarp::conf::vocab32_t code)
{
    const std::string word = Vocab32::decode(code);
    bool printable = !word.empty() && Vocab32::encode(word) == code;
    for (char c : word) {
        printable = printable && isVocabChar(c);
    }
    if (!printable) {
        return std::to_string(code);
    }
    return "[" + word + "]";
}

void appendQuoted(std::string& out, const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7f) {
                out += "\\x";
                out += hex[u >> 4];
                out += hex[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

std::string formatString(const std::string& text)
{
    bool bare = !text.empty();
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || c == '\\' || isWordBreak(c)) {
            bare = false;
            break;
        }
    }
    if (bare && !parseWord(text).isString()) {
        bare = false; // e.g. the string "42" or "[abc]" must stay a string
    }
    if (bare) {
        return text;
    }
    std::string out;
    appendQuoted(out, text);
    return out;
}

Value parseWord(const std::string& word)
{
    if (word.empty()) {
        return Value(word);
    }
    bool isFloat = false;
    if (matchNumber(word, isFloat)) {
        if (!isFloat) {
            std::int64_t integer = 0;
            const char* begin = word.data() + (word[0] == '+' ? 1 : 0);
            const auto result = std::from_chars(begin, word.data() + word.size(), integer);
            if (result.ec == std::errc() && result.ptr == word.data() + word.size()) {
                if (integer >= std::numeric_limits<std::int32_t>::min()
                    && integer <= std::numeric_limits<std::int32_t>::max()) {
                    return Value(static_cast<std::int32_t>(integer));
                }
                return Value(integer);
            }
            // Too large for 64 bits: still a number.
        }
        return Value(parseFloat(word));
    }
    if (word == "inf" || word == "+inf") {
        return Value(std::numeric_limits<double>::infinity());
    }
    if (word == "-inf") {
        return Value(-std::numeric_limits<double>::infinity());
    }
    if (word == "nan") {
        return Value(std::numeric_limits<double>::quiet_NaN());
    }
    if (word.size() >= 3 && word.size() <= 6 && word.front() == '[' && word.back() == ']') {
        const std::string inner = word.substr(1, word.size() - 2);
        bool ok = true;
        for (char c : inner) {
            ok = ok && isVocabChar(c);
        }
        if (ok) {
            return Value(inner, true);
        }
    }
    return Value(word);
}

} // namespace yarp::os::impl
