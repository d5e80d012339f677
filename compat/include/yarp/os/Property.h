#pragma once
// A key-to-value map, used mainly as device configuration ("device", "local", "remote").
#include <cstddef>
#include <map>
#include <string>

#include <yarp/os/Portable.h>
#include <yarp/os/Searchable.h>
#include <yarp/os/Value.h>

namespace yarp::os {

class Property : public Portable, public Searchable {
public:
    Property() = default;
    /// Reads groups of the form `(key value) (key2 value2)`; see fromString().
    explicit Property(const std::string& text);

    /// Stores (replacing any earlier value under the same key).
    void put(const std::string& key, const std::string& value);
    void put(const std::string& key, int value);
    void put(const std::string& key, double value);
    void put(const std::string& key, const Value& value);
    /// Removes `key` if present.
    void unput(const std::string& key);
    void clear();
    std::size_t size() const;

    /// The value stored under `key`, or the null value when it is absent.
    Value& find(const std::string& key) const override;
    bool check(const std::string& key) const override;
    using Searchable::check;

    /// Replaces the content with the groups of `text`: each nested list `(key value)` puts
    /// `value` under `key` (a group with several values stores them as a list); top-level
    /// elements outside groups are ignored.
    void fromString(const std::string& text);
    /// Groups sorted by key: `(key value) (key2 value2)`.
    std::string toString() const override;

    bool write(ConnectionWriter& writer) const override;
    /// Decodes one property set; on malformed input returns false and leaves it empty.
    bool read(ConnectionReader& reader) override;

private:
    // Mutable because the YARP API hands out writable values from const find().
    mutable std::map<std::string, Value> entries_;
};

} // namespace yarp::os
