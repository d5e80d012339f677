#pragma once
// Growable array of numbers with a compact wire form (`yarp::sig::Vector` = VectorOf<double>).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include <yarp/os/Portable.h>

namespace yarp::sig {

namespace detail {

/// Wire tag opening every encoded vector.
constexpr std::int32_t vectorWireTag = 0x31434556; // "VEC1"

/// Describes the element type on the wire (size, floating, signed) so that a vector of
/// doubles is never decoded as a vector of int64.
template <class T>
constexpr std::int32_t vectorElementCode()
{
    return static_cast<std::int32_t>(sizeof(T)) | (std::is_floating_point_v<T> ? 0x100 : 0)
        | (std::is_signed_v<T> ? 0x200 : 0);
}

/// Text of one element: shortest round-trip text when precision < 0, otherwise fixed-point
/// with `precision` decimals; right-aligned in `width` characters when width > 0.
std::string formatVectorElement(double value, int precision, int width);
std::string formatVectorElement(long long value, int precision, int width);

} // namespace detail

template <class T>
class VectorOf : public yarp::os::Portable {
    static_assert(std::is_arithmetic_v<T>, "VectorOf holds numbers");

public:
    using value_type = T;
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    VectorOf() = default;
    /// `size` zero elements.
    explicit VectorOf(std::size_t size) : data_(size) {}
    VectorOf(std::size_t size, const T& fill) : data_(size, fill) {}
    VectorOf(std::initializer_list<T> values) : data_(values) {}
    VectorOf(const VectorOf&) = default;
    VectorOf(VectorOf&&) noexcept = default;
    VectorOf& operator=(const VectorOf&) = default;
    VectorOf& operator=(VectorOf&&) noexcept = default;
    ~VectorOf() override = default;

    std::size_t size() const { return data_.size(); }
    std::size_t length() const { return data_.size(); }
    bool empty() const { return data_.empty(); }
    /// New elements are zero.
    void resize(std::size_t size) { data_.resize(size); }
    void resize(std::size_t size, const T& fill) { data_.resize(size, fill); }
    void reserve(std::size_t size) { data_.reserve(size); }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T* data() { return data_.data(); }
    const T* data() const { return data_.data(); }
    void zero() { std::fill(data_.begin(), data_.end(), T{}); }
    void push_back(const T& value) { data_.push_back(value); }
    void pop_back() { data_.pop_back(); }
    void clear() { data_.clear(); }
    iterator begin() { return data_.begin(); }
    iterator end() { return data_.end(); }
    const_iterator begin() const { return data_.begin(); }
    const_iterator end() const { return data_.end(); }

    /// Elements separated by one space; see detail::formatVectorElement for the arguments.
    std::string toString(int precision = -1, int width = -1) const
    {
        std::string out;
        for (std::size_t i = 0; i < data_.size(); ++i) {
            if (i > 0) {
                out += ' ';
            }
            if constexpr (std::is_floating_point_v<T>) {
                out += detail::formatVectorElement(static_cast<double>(data_[i]), precision, width);
            } else {
                out += detail::formatVectorElement(static_cast<long long>(data_[i]), precision, width);
            }
        }
        return out;
    }

    bool operator==(const VectorOf& other) const { return data_ == other.data_; }
    bool operator!=(const VectorOf& other) const { return data_ != other.data_; }

    /// Wire form: tag, element code, count, then the raw elements.
    bool write(yarp::os::ConnectionWriter& writer) const override
    {
        if (data_.size() > static_cast<std::size_t>(INT32_MAX)) {
            return false;
        }
        writer.appendInt32(detail::vectorWireTag);
        writer.appendInt32(detail::vectorElementCode<T>());
        writer.appendInt32(static_cast<std::int32_t>(data_.size()));
        if (!data_.empty()) {
            writer.appendBlock(reinterpret_cast<const char*>(data_.data()), data_.size() * sizeof(T));
        }
        return true;
    }

    /// Refuses (returns false, leaves the vector empty) a wrong tag or element type, a
    /// negative count, or a count larger than the bytes actually present.
    bool read(yarp::os::ConnectionReader& reader) override
    {
        std::int32_t tag = 0;
        std::int32_t code = 0;
        std::int32_t count = 0;
        if (!reader.expectInt32(tag) || tag != detail::vectorWireTag || !reader.expectInt32(code)
            || code != detail::vectorElementCode<T>() || !reader.expectInt32(count) || count < 0
            || static_cast<std::size_t>(count) > reader.remaining() / sizeof(T)) {
            data_.clear();
            return false;
        }
        const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(T);
        data_.resize(static_cast<std::size_t>(count));
        if (bytes > 0 && !reader.expectBlock(reinterpret_cast<char*>(data_.data()), bytes)) {
            data_.clear();
            return false;
        }
        return true;
    }

private:
    std::vector<T> data_;
};

using Vector = VectorOf<double>;

} // namespace yarp::sig
