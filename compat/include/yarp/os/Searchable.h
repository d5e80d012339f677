#pragma once
// Common lookup interface of Bottle and Property: what a device's open() reads its
// configuration from.
#include <string>

namespace yarp::os {

class Value;

/// A collection that can be searched by key.
class Searchable {
public:
    virtual ~Searchable() = default;

    /// True when `key` is present.
    virtual bool check(const std::string& key) const = 0;

    /// The value stored under `key`, or the null value (Value::isNull()) when it is absent.
    /// The reference stays valid until the collection is changed.
    virtual Value& find(const std::string& key) const = 0;

    /// The value under `key`, or `fallback` when it is absent.
    Value check(const std::string& key, const Value& fallback) const;

    /// Text form of the whole collection.
    virtual std::string toString() const = 0;
};

} // namespace yarp::os
