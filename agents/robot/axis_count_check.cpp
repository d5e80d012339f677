#include "agents/robot/axis_count_check.h"

#include <utility>

AxisCountCheck::AxisCountCheck(std::string agent_name, std::string key_name, int axis_count)
    : agent(std::move(agent_name)), key(std::move(key_name)), axes(axis_count)
{
}

bool AxisCountCheck::accept(const yarp::sig::Vector& values)
{
    if (values.size() == static_cast<std::size_t>(axes)) {
        refused.clear();
        return true;
    }
    refused.say(agent + ": refused " + std::to_string(values.size()) + " values under " + key
                    + ", the board has " + std::to_string(axes) + " axes\n",
                std::vector<double>(values.begin(), values.end()));
    return false;
}
