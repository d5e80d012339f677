#include "core/report.h"

#include <cstdarg>
#include <cstdio>

void print_line(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

std::string format_text(const char* fmt, ...)
{
    char small[128];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    std::string text;
    if (needed > 0 && static_cast<std::size_t>(needed) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(needed));
    } else if (needed > 0) {
        text.assign(static_cast<std::size_t>(needed) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), fmt, again);
        text.resize(static_cast<std::size_t>(needed));
    }
    va_end(again);
    return text;
}

void print_agent_created(const std::string& key)
{
    print_line("New agent with confBlock " + key + " created \n");
}
