#include <yarp/os/Property.h>

#include <limits>

#include <yarp/os/Bottle.h>

#include "wire_codes.h"

namespace yarp::os {

Property::Property(const std::string& text)
{
    fromString(text);
}

void Property::put(const std::string& key, const std::string& value)
{
    entries_[key] = Value(value);
}

void Property::put(const std::string& key, int value)
{
    entries_[key] = Value(static_cast<std::int32_t>(value));
}

void Property::put(const std::string& key, double value)
{
    entries_[key] = Value(value);
}

void Property::put(const std::string& key, const Value& value)
{
    Value copy = value; // `value` may be an entry of this property
    entries_[key] = std::move(copy);
}

void Property::unput(const std::string& key)
{
    entries_.erase(key);
}

void Property::clear()
{
    entries_.clear();
}

std::size_t Property::size() const
{
    return entries_.size();
}

Value& Property::find(const std::string& key) const
{
    const auto it = entries_.find(key);
    return it != entries_.end() ? it->second : Value::getNullValue();
}

bool Property::check(const std::string& key) const
{
    return entries_.count(key) > 0;
}

void Property::fromString(const std::string& text)
{
    entries_.clear();
    const Bottle groups(text);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const Bottle* group = groups.get(i).asList();
        if (!group || group->size() < 2) {
            continue;
        }
        const std::string key = group->get(0).asString();
        if (group->size() == 2) {
            entries_[key] = group->get(1);
        } else {
            Bottle rest;
            for (std::size_t j = 1; j < group->size(); ++j) {
                rest.add(group->get(j));
            }
            entries_[key] = Value(rest);
        }
    }
}

std::string Property::toString() const
{
    std::string out;
    for (const auto& [key, value] : entries_) {
        if (!out.empty()) {
            out += ' ';
        }
        Bottle group;
        group.addString(key);
        group.add(value);
        out += "(" + group.toString() + ")";
    }
    return out;
}

// Wire form: tag "PRP1", entry count, then per entry the key (length-prefixed) and the value
// as one bottle element. Null values are not sent.
bool Property::write(ConnectionWriter& writer) const
{
    std::size_t count = 0;
    for (const auto& entry : entries_) {
        count += entry.second.isNull() ? 0 : 1;
    }
    if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }
    writer.appendInt32(wire::propertyTag);
    writer.appendInt32(static_cast<std::int32_t>(count));
    for (const auto& [key, value] : entries_) {
        if (value.isNull()) {
            continue;
        }
        if (key.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return false;
        }
        writer.appendString(key);
        if (!Bottle::writeItem(writer, value)) {
            return false;
        }
    }
    return true;
}

bool Property::read(ConnectionReader& reader)
{
    entries_.clear();
    std::int32_t tag = 0;
    std::int32_t count = 0;
    // An entry takes at least a 4-byte key length and one element.
    constexpr std::size_t minEntryBytes = 4 + wire::minItemBytes;
    bool ok = reader.expectInt32(tag) && tag == wire::propertyTag && reader.expectInt32(count) && count >= 0
        && static_cast<std::size_t>(count) <= reader.remaining() / minEntryBytes;
    for (std::int32_t i = 0; ok && i < count; ++i) {
        std::string key;
        std::int8_t type = 0;
        Value value;
        ok = reader.expectString(key) && reader.expectInt8(type) && Bottle::readItem(reader, type, value, 0);
        if (ok) {
            entries_[key] = std::move(value);
        }
    }
    if (!ok) {
        entries_.clear();
    }
    return ok;
}

} // namespace yarp::os
