#include <yarp/os/Searchable.h>

#include <yarp/os/Value.h>

namespace yarp::os {

Value Searchable::check(const std::string& key, const Value& fallback) const
{
    return check(key) ? find(key) : fallback;
}

} // namespace yarp::os
