#include <yarp/os/Bottle.h>

#include <limits>
#include <utility>

#include <yarp/os/Vocab.h>

#include "bottle_text.h"
#include "wire_codes.h"

namespace yarp::os {

Bottle::Bottle() = default;

Bottle::Bottle(const std::string& text)
{
    fromString(text);
}

Bottle::Bottle(const Bottle& other) : Portable(), Searchable(), items_(other.items_) {}

Bottle::Bottle(Bottle&& other) noexcept : Portable(), Searchable(), items_(std::move(other.items_))
{
    other.items_.clear();
}

Bottle& Bottle::operator=(const Bottle& other)
{
    if (this != &other) {
        // Copy first: `other` may be nested inside this bottle.
        std::vector<Value> copy = other.items_;
        items_ = std::move(copy);
    }
    return *this;
}

Bottle& Bottle::operator=(Bottle&& other) noexcept
{
    if (this != &other) {
        std::vector<Value> taken = std::move(other.items_);
        other.items_.clear();
        items_ = std::move(taken);
    }
    return *this;
}

Bottle::~Bottle() = default;

namespace {

/// Reads the text form into `root`; false when it nests deeper than allowed.
bool parseText(const std::string& text, Bottle& root)
{
    std::vector<Bottle*> open{&root};
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            ++i;
        } else if (c == '(') {
            if (static_cast<int>(open.size()) > Bottle::maxNesting) {
                return false;
            }
            open.push_back(&open.back()->addList());
            ++i;
        } else if (c == ')') {
            if (open.size() > 1) {
                open.pop_back();
            }
            ++i;
        } else if (c == '"') {
            std::string value;
            ++i;
            while (i < n && text[i] != '"') {
                if (text[i] != '\\' || i + 1 >= n) {
                    value += text[i++];
                    continue;
                }
                const char e = text[i + 1];
                i += 2;
                switch (e) {
                case '"': value += '"'; break;
                case '\\': value += '\\'; break;
                case 'n': value += '\n'; break;
                case 'r': value += '\r'; break;
                case 't': value += '\t'; break;
                case 'x': {
                    auto hexDigit = [](char h) -> int {
                        if (h >= '0' && h <= '9') {
                            return h - '0';
                        }
                        if (h >= 'a' && h <= 'f') {
                            return h - 'a' + 10;
                        }
                        if (h >= 'A' && h <= 'F') {
                            return h - 'A' + 10;
                        }
                        return -1;
                    };
                    const int hi = i < n ? hexDigit(text[i]) : -1;
                    const int lo = i + 1 < n ? hexDigit(text[i + 1]) : -1;
                    if (hi >= 0 && lo >= 0) {
                        value += static_cast<char>(hi * 16 + lo);
                        i += 2;
                    } else {
                        value += "\\x";
                    }
                    break;
                }
                default:
                    // Unknown escapes are kept as written (e.g. a Windows-style path).
                    value += '\\';
                    value += e;
                }
            }
            ++i; // closing quote (or past the end of an unterminated one)
            open.back()->addString(value);
        } else {
            const std::size_t start = i;
            while (i < n && !impl::isWordBreak(text[i])) {
                ++i;
            }
            open.back()->add(impl::parseWord(text.substr(start, i - start)));
        }
    }
    return true;
}

} // namespace

void Bottle::fromString(const std::string& text)
{
    Bottle parsed;
    if (!parseText(text, parsed)) {
        parsed.clear();
    }
    *this = std::move(parsed);
}

std::string Bottle::toString() const
{
    std::string out;
    appendItemsText(out);
    return out;
}

void Bottle::appendItemsText(std::string& out) const
{
    bool first = true;
    for (const Value& item : items_) {
        if (item.isNull()) {
            continue; // a null element has no text form
        }
        if (!first) {
            out += ' ';
        }
        first = false;
        appendText(out, item);
    }
}

void Bottle::appendText(std::string& out, const Value& value)
{
    if (value.isList()) {
        out += '(';
        value.list_->appendItemsText(out);
        out += ')';
    } else {
        out += value.toString();
    }
}

void Bottle::clear()
{
    items_.clear();
}

void Bottle::addInt32(std::int32_t x)
{
    items_.emplace_back(x);
}

void Bottle::addInt64(std::int64_t x)
{
    items_.emplace_back(x);
}

void Bottle::addFloat64(double x)
{
    items_.emplace_back(x);
}

void Bottle::addString(const std::string& text)
{
    items_.emplace_back(text);
}

void Bottle::addVocab32(yarp::conf::vocab32_t code)
{
    items_.emplace_back(code, true);
}

void Bottle::addVocab32(const std::string& word)
{
    items_.emplace_back(word, true);
}

Bottle& Bottle::addList()
{
    items_.emplace_back(Bottle());
    return *items_.back().asList();
}

void Bottle::add(const Value& value)
{
    items_.push_back(value);
}

void Bottle::add(Value&& value)
{
    items_.push_back(std::move(value));
}

void Bottle::append(const Bottle& other)
{
    const std::vector<Value> copy = other.items_; // `other` may be this bottle
    items_.insert(items_.end(), copy.begin(), copy.end());
}

Value& Bottle::get(std::size_t index) const
{
    return index < items_.size() ? items_[index] : Value::getNullValue();
}

std::size_t Bottle::size() const
{
    return items_.size();
}

Value& Bottle::find(const std::string& key) const
{
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const Value& item = items_[i];
        if (item.isString() && item.string_ == key) {
            return get(i + 1);
        }
        if (item.isList() && item.list_->size() > 0) {
            const Value& head = item.list_->items_.front();
            if (head.isString() && head.string_ == key) {
                return item.list_->get(1);
            }
        }
    }
    return Value::getNullValue();
}

bool Bottle::check(const std::string& key) const
{
    for (const Value& item : items_) {
        if (item.isString() && item.string_ == key) {
            return true;
        }
        if (item.isList() && item.list_->size() > 0) {
            const Value& head = item.list_->items_.front();
            if (head.isString() && head.string_ == key) {
                return true;
            }
        }
    }
    return false;
}

bool Bottle::operator==(const Bottle& other) const
{
    return items_ == other.items_;
}

// Wire form: tag "BOT1", then the items: a 32-bit count and each element as a type byte and
// its payload (fixed-width numbers, length-prefixed strings, nested lists as items again).

bool Bottle::writeItem(ConnectionWriter& writer, const Value& value)
{
    switch (value.type_) {
    case Value::Type::Null: return true; // null elements are not sent (as in the text form)
    case Value::Type::Int32:
        writer.appendInt8(wire::itemInt32);
        writer.appendInt32(static_cast<std::int32_t>(value.int_));
        return true;
    case Value::Type::Int64:
        writer.appendInt8(wire::itemInt64);
        writer.appendInt64(value.int_);
        return true;
    case Value::Type::Float64:
        writer.appendInt8(wire::itemFloat64);
        writer.appendFloat64(value.float_);
        return true;
    case Value::Type::String:
        if (value.string_.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return false;
        }
        writer.appendInt8(wire::itemString);
        writer.appendString(value.string_);
        return true;
    case Value::Type::Vocab32:
        writer.appendInt8(wire::itemVocab32);
        writer.appendInt32(static_cast<std::int32_t>(value.int_));
        return true;
    case Value::Type::List:
        writer.appendInt8(wire::itemList);
        return value.list_->writeItems(writer);
    }
    return false;
}

bool Bottle::writeItems(ConnectionWriter& writer) const
{
    std::size_t count = 0;
    for (const Value& item : items_) {
        count += item.isNull() ? 0 : 1;
    }
    if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }
    writer.appendInt32(static_cast<std::int32_t>(count));
    for (const Value& item : items_) {
        if (!writeItem(writer, item)) {
            return false;
        }
    }
    return true;
}

bool Bottle::readItem(ConnectionReader& reader, std::int8_t type, Value& out, int depth)
{
    switch (type) {
    case wire::itemInt32: {
        std::int32_t x = 0;
        if (!reader.expectInt32(x)) {
            return false;
        }
        out = Value(x);
        return true;
    }
    case wire::itemInt64: {
        std::int64_t x = 0;
        if (!reader.expectInt64(x)) {
            return false;
        }
        out = Value(x);
        return true;
    }
    case wire::itemFloat64: {
        double x = 0;
        if (!reader.expectFloat64(x)) {
            return false;
        }
        out = Value(x);
        return true;
    }
    case wire::itemString: {
        Value text{std::string()};
        if (!reader.expectString(text.string_)) {
            return false;
        }
        out = std::move(text);
        return true;
    }
    case wire::itemVocab32: {
        std::int32_t x = 0;
        if (!reader.expectInt32(x)) {
            return false;
        }
        out = Value(x, true);
        return true;
    }
    case wire::itemList: {
        if (depth >= maxNesting) {
            return false;
        }
        Value list{Bottle()};
        if (!list.list_->readItems(reader, depth + 1)) {
            return false;
        }
        out = std::move(list);
        return true;
    }
    default: return false;
    }
}

bool Bottle::readItems(ConnectionReader& reader, int depth)
{
    std::int32_t count = 0;
    // Every element takes at least minItemBytes: a larger count is forged or truncated, and
    // refusing it here keeps a short message from reserving a huge amount of memory.
    if (!reader.expectInt32(count) || count < 0
        || static_cast<std::size_t>(count) > reader.remaining() / wire::minItemBytes) {
        return false;
    }
    // No reserve(count): nested lists could each claim the whole remainder before failing.
    for (std::int32_t i = 0; i < count; ++i) {
        std::int8_t type = 0;
        if (!reader.expectInt8(type)) {
            return false;
        }
        items_.emplace_back();
        if (!readItem(reader, type, items_.back(), depth)) {
            return false;
        }
    }
    return true;
}

bool Bottle::write(ConnectionWriter& writer) const
{
    writer.appendInt32(wire::bottleTag);
    return writeItems(writer);
}

bool Bottle::read(ConnectionReader& reader)
{
    items_.clear();
    std::int32_t tag = 0;
    if (!reader.expectInt32(tag) || tag != wire::bottleTag || !readItems(reader, 0)) {
        items_.clear();
        return false;
    }
    return true;
}

} // namespace yarp::os
