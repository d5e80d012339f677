#pragma once
// yarp::sig::Vector values written and compared in assertions.
#include <yarp/sig/Vector.h>

#include <initializer_list>
#include <vector>

namespace ac_test {

/// The values as a yarp::sig::Vector.
inline yarp::sig::Vector vec(std::initializer_list<double> values)
{
    yarp::sig::Vector v;
    for (double x : values) {
        v.push_back(x);
    }
    return v;
}

/// A vector's elements as a std::vector, for readable comparisons in assertions.
inline std::vector<double> plain(const yarp::sig::Vector& v)
{
    return std::vector<double>(v.data(), v.data() + v.size());
}

} // namespace ac_test
