#include <yarp/os/Value.h>

#include <cmath>
#include <limits>
#include <utility>

#include <yarp/os/Bottle.h>
#include <yarp/os/Vocab.h>

#include "bottle_text.h"
#include "wire_codes.h"

namespace yarp::os {

namespace {

template <class Int>
Int saturate(double x)
{
    if (std::isnan(x)) {
        return 0;
    }
    if (x <= static_cast<double>(std::numeric_limits<Int>::min())) {
        return std::numeric_limits<Int>::min();
    }
    // max() of int64 is not exactly representable: compare against 2^63 instead.
    if (x >= -static_cast<double>(std::numeric_limits<Int>::min())) {
        return std::numeric_limits<Int>::max();
    }
    return static_cast<Int>(x);
}

} // namespace

Value::Value() : int_(0) {}

Value::Value(std::int32_t x, bool isVocab32) : type_(isVocab32 ? Type::Vocab32 : Type::Int32), int_(x) {}

Value::Value(std::int64_t x) : type_(Type::Int64), int_(x) {}

Value::Value(double x) : type_(Type::Float64), float_(x) {}

Value::Value(const std::string& text, bool isVocab32)
    : type_(isVocab32 ? Type::Vocab32 : Type::String), int_(isVocab32 ? Vocab32::encode(text) : 0)
{
    if (!isVocab32) {
        string_ = text;
    }
}

Value::Value(const char* text, bool isVocab32) : Value(std::string(text ? text : ""), isVocab32) {}

Value::Value(const Bottle& list) : type_(Type::List), int_(0), list_(std::make_unique<Bottle>(list)) {}

Value::Value(SentinelTag) : sentinel_(true), int_(0) {}

Value::Value(const Value& other) : Portable(), int_(0)
{
    assignFrom(other);
}

Value::Value(Value&& other) noexcept : Portable(), int_(0)
{
    moveFrom(other);
}

Value& Value::operator=(const Value& other)
{
    if (this != &other) {
        assignFrom(other);
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept
{
    if (this != &other) {
        moveFrom(other);
    }
    return *this;
}

Value::~Value() = default;

Value& Value::getNullValue()
{
    // Never changes: assignment to a sentinel is ignored, so sharing it between threads is safe.
    static Value null{SentinelTag{}};
    return null;
}

void Value::assignFrom(const Value& other)
{
    if (sentinel_) {
        return;
    }
    // Take copies before touching this value: `other` may live inside our own list.
    std::unique_ptr<Bottle> list = other.list_ ? std::make_unique<Bottle>(*other.list_) : nullptr;
    std::string text = other.string_;
    const Type type = other.type_;
    const std::int64_t integer = type == Type::Float64 ? 0 : other.int_;
    const double real = type == Type::Float64 ? other.float_ : 0.0;
    setFields(type, integer, real, std::move(text), std::move(list));
}

void Value::moveFrom(Value& other) noexcept
{
    if (sentinel_) {
        return;
    }
    if (other.sentinel_) {
        // The shared null value has no payload; moving from it must not alter it.
        setFields(Type::Null, 0, 0.0, std::string(), nullptr);
        return;
    }
    // Empty `other` completely before replacing our own payload: `other` may live inside our
    // own list, which the assignment below destroys.
    std::unique_ptr<Bottle> list = std::move(other.list_);
    std::string text = std::move(other.string_);
    const Type type = other.type_;
    const std::int64_t integer = type == Type::Float64 ? 0 : other.int_;
    const double real = type == Type::Float64 ? other.float_ : 0.0;
    other.type_ = Type::Null;
    other.int_ = 0;
    other.string_.clear();
    setFields(type, integer, real, std::move(text), std::move(list));
}

void Value::setFields(Type type, std::int64_t integer, double real, std::string&& text,
                      std::unique_ptr<Bottle>&& list) noexcept
{
    type_ = type;
    if (type == Type::Float64) {
        float_ = real;
    } else {
        int_ = integer;
    }
    string_ = std::move(text);
    list_ = std::move(list); // may destroy the bottle `other` came from: nothing reads it later
}

std::int32_t Value::asInt32() const
{
    switch (type_) {
    case Type::Int32:
    case Type::Vocab32: return static_cast<std::int32_t>(int_);
    case Type::Int64:
        if (int_ > std::numeric_limits<std::int32_t>::max()) {
            return std::numeric_limits<std::int32_t>::max();
        }
        if (int_ < std::numeric_limits<std::int32_t>::min()) {
            return std::numeric_limits<std::int32_t>::min();
        }
        return static_cast<std::int32_t>(int_);
    case Type::Float64: return saturate<std::int32_t>(float_);
    default: return 0;
    }
}

std::int64_t Value::asInt64() const
{
    switch (type_) {
    case Type::Int32:
    case Type::Int64:
    case Type::Vocab32: return int_;
    case Type::Float64: return saturate<std::int64_t>(float_);
    default: return 0;
    }
}

double Value::asFloat64() const
{
    switch (type_) {
    case Type::Int32:
    case Type::Int64:
    case Type::Vocab32: return static_cast<double>(int_);
    case Type::Float64: return float_;
    default: return 0.0;
    }
}

std::string Value::asString() const
{
    switch (type_) {
    case Type::String: return string_;
    case Type::Vocab32: return Vocab32::decode(static_cast<yarp::conf::vocab32_t>(int_));
    default: return {};
    }
}

yarp::conf::vocab32_t Value::asVocab32() const
{
    return (type_ == Type::Vocab32 || type_ == Type::Int32) ? static_cast<yarp::conf::vocab32_t>(int_) : 0;
}

Bottle* Value::asList() const
{
    return type_ == Type::List ? list_.get() : nullptr;
}

std::string Value::toString() const
{
    switch (type_) {
    case Type::Null: return {};
    case Type::Int32:
    case Type::Int64: return std::to_string(int_);
    case Type::Float64: return impl::formatFloat64(float_);
    case Type::String: return impl::formatString(string_);
    case Type::Vocab32: return impl::formatVocab32(static_cast<yarp::conf::vocab32_t>(int_));
    case Type::List: {
        std::string out;
        Bottle::appendText(out, *this);
        return out;
    }
    }
    return {};
}

bool Value::operator==(const Value& other) const
{
    if (type_ != other.type_) {
        return false;
    }
    switch (type_) {
    case Type::Null: return true;
    case Type::Int32:
    case Type::Int64:
    case Type::Vocab32: return int_ == other.int_;
    case Type::Float64: return float_ == other.float_;
    case Type::String: return string_ == other.string_;
    case Type::List: return *list_ == *other.list_;
    }
    return false;
}

bool Value::write(ConnectionWriter& writer) const
{
    writer.appendInt32(wire::valueTag);
    if (isNull()) {
        writer.appendInt8(wire::itemNull);
        return true;
    }
    return Bottle::writeItem(writer, *this);
}

bool Value::read(ConnectionReader& reader)
{
    if (sentinel_) {
        return false;
    }
    std::int32_t tag = 0;
    std::int8_t type = 0;
    Value decoded;
    bool ok = reader.expectInt32(tag) && tag == wire::valueTag && reader.expectInt8(type);
    if (ok && type != wire::itemNull) {
        ok = Bottle::readItem(reader, type, decoded, 0);
    }
    *this = ok ? std::move(decoded) : Value();
    return ok;
}

} // namespace yarp::os
