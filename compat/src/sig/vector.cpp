#include <yarp/sig/Vector.h>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace yarp::sig::detail {

namespace {

std::string pad(std::string text, int width)
{
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

} // namespace

std::string formatVectorElement(double value, int precision, int width)
{
    if (std::isnan(value)) {
        return pad("nan", width);
    }
    if (std::isinf(value)) {
        return pad(value > 0 ? "inf" : "-inf", width);
    }
    char buffer[512];
    std::to_chars_result result{};
    if (precision < 0) {
        result = std::to_chars(buffer, buffer + sizeof buffer, value);
    } else {
        // Locale-independent fixed notation; precision is capped to keep the text bounded.
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                               precision > 30 ? 30 : precision);
        if (result.ec != std::errc()) {
            result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                                   precision > 30 ? 30 : precision);
        }
    }
    return pad(std::string(buffer, result.ptr), width);
}

std::string formatVectorElement(long long value, int /*precision*/, int width)
{
    return pad(std::to_string(value), width);
}

} // namespace yarp::sig::detail
