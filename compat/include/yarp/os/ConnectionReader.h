#pragma once
// Bounds-checked decoder over one received message. Every expect* call fails (returns
// false and leaves the reader in the failed state) instead of reading past the end, so a
// decoder built on it cannot over-read whatever the input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace yarp::os {

class ConnectionReader {
public:
    ConnectionReader(const char* data, std::size_t len) : data_(data), len_(len) {}

    bool expectInt8(std::int8_t& v) { return expectRaw(&v, sizeof v); }
    bool expectInt32(std::int32_t& v) { return expectRaw(&v, sizeof v); }
    bool expectInt64(std::int64_t& v) { return expectRaw(&v, sizeof v); }
    bool expectFloat64(double& v) { return expectRaw(&v, sizeof v); }
    /// Length-prefixed string; refuses a length longer than what is left.
    bool expectString(std::string& s)
    {
        std::int32_t n = 0;
        if (!expectInt32(n) || n < 0 || static_cast<std::size_t>(n) > remaining()) {
            return fail();
        }
        s.assign(data_ + pos_, static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        return true;
    }
    bool expectBlock(char* out, std::size_t n) { return expectRaw(out, n); }
    /// Pointer to the next n bytes without copying, or nullptr when fewer are left.
    const char* peekBlock(std::size_t n) const { return n <= remaining() && ok_ ? data_ + pos_ : nullptr; }
    bool skip(std::size_t n)
    {
        if (n > remaining()) {
            return fail();
        }
        pos_ += n;
        return true;
    }

    std::size_t remaining() const { return ok_ ? len_ - pos_ : 0; }
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && pos_ == len_; }

private:
    bool expectRaw(void* out, std::size_t n)
    {
        if (!ok_ || n > len_ - pos_) {
            return fail();
        }
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    bool fail()
    {
        ok_ = false;
        return false;
    }

    const char* data_;
    std::size_t len_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace yarp::os
