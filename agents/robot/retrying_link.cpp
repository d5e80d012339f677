#include "agents/robot/retrying_link.h"

#include <utility>

void RetryingLink::name(std::string agent_name, std::string config_key)
{
    agent = std::move(agent_name);
    key = std::move(config_key);
}

std::string RetryingLink::line(const std::string& what) const
{
    return agent + " " + key + ": " + what + "\n";
}

bool RetryingLink::attempt_due()
{
    if (up) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (tried && now - last_attempt < kRetrySpacing) {
        return false;
    }
    tried = true;
    last_attempt = now;
    return true;
}

void RetryingLink::recovered(const std::string& what)
{
    up = true;
    if (down.clear()) {
        print_line(line(what));
    }
}

void RetryingLink::failed(const std::string& what)
{
    up = false;
    down.say(line(what));
}

void RetryingLink::lost(const std::string& what)
{
    up = false;
    print_line(line(what));
    down.mark();
}
