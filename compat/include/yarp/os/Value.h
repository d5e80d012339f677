#pragma once
// One element of a Bottle or Property: an int32, int64, float64, string, vocabulary word or
// nested list, or the null value that lookups of missing elements yield.
#include <cstdint>
#include <memory>
#include <string>

#include <yarp/conf/numeric.h>
#include <yarp/os/Portable.h>

namespace yarp::os {

class Bottle;

class Value : public Portable {
public:
    /// The null value (isNull() true, every as*() yields zero/empty).
    Value();
    explicit Value(std::int32_t x, bool isVocab32 = false);
    explicit Value(std::int64_t x);
    explicit Value(double x);
    /// A string, or with `isVocab32` the vocabulary word made of its first four characters.
    explicit Value(const std::string& text, bool isVocab32 = false);
    explicit Value(const char* text, bool isVocab32 = false);
    /// A nested list holding a copy of `list`.
    explicit Value(const Bottle& list);

    Value(const Value& other);
    Value(Value&& other) noexcept;
    /// Assigning to the shared null value returned by failed lookups is ignored, so that a
    /// careless `b.get(99) = ...` cannot turn every later failed lookup into a real value.
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    ~Value() override;

    /// The shared, immutable null value handed out by failed lookups.
    static Value& getNullValue();

    bool isNull() const { return type_ == Type::Null; }
    bool isInt32() const { return type_ == Type::Int32; }
    bool isInt64() const { return type_ == Type::Int64; }
    bool isFloat64() const { return type_ == Type::Float64; }
    bool isString() const { return type_ == Type::String; }
    bool isVocab32() const { return type_ == Type::Vocab32; }
    bool isList() const { return type_ == Type::List; }

    /// Integer value (floats are truncated and saturated; vocabs give their code); 0 otherwise.
    std::int32_t asInt32() const;
    std::int64_t asInt64() const;
    /// Numeric value (vocabs give their code); 0.0 for strings, lists and null.
    double asFloat64() const;
    /// The string, or the characters of a vocab; empty for other types.
    std::string asString() const;
    /// The vocab code (an int32 is taken as a code too); 0 for other types.
    yarp::conf::vocab32_t asVocab32() const;
    /// The nested list, or nullptr when this value is not a list.
    Bottle* asList() const;

    /// Text form as it appears inside a bottle (strings quoted when they need it).
    std::string toString() const;

    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }

    bool write(ConnectionWriter& writer) const override;
    bool read(ConnectionReader& reader) override;

private:
    friend class Bottle;
    enum class Type : std::uint8_t { Null, Int32, Int64, Float64, String, Vocab32, List };
    struct SentinelTag {};
    explicit Value(SentinelTag);
    void assignFrom(const Value& other);
    void moveFrom(Value& other) noexcept;
    void setFields(Type type, std::int64_t integer, double real, std::string&& text,
                   std::unique_ptr<Bottle>&& list) noexcept;

    Type type_ = Type::Null;
    bool sentinel_ = false;
    union {
        std::int64_t int_;
        double float_;
    };
    std::string string_;
    std::unique_ptr<Bottle> list_;
};

} // namespace yarp::os
