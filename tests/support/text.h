#pragma once
// Counting in what a program or an agent printed.
#include <cstddef>
#include <string>

namespace ac_test {

/// How many times `needle` occurs in `text` (occurrences do not overlap).
inline int occurrences(const std::string& text, const std::string& needle)
{
    int n = 0;
    if (needle.empty()) {
        return n;
    }
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) {
        ++n;
    }
    return n;
}

/// How many lines of `text` contain `needle`.
inline int lines_containing(const std::string& text, const std::string& needle)
{
    int n = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        n += text.substr(start, end - start).find(needle) != std::string::npos ? 1 : 0;
        start = end + 1;
    }
    return n;
}

} // namespace ac_test
