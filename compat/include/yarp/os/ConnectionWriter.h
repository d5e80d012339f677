#pragma once
// Wire encoding buffer of the bundled YARP layer. Values are written little-endian with
// fixed widths; strings and blocks carry a 32-bit length prefix.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace yarp::os {

class ConnectionWriter {
public:
    void appendInt8(std::int8_t v) { appendRaw(&v, sizeof v); }
    void appendInt32(std::int32_t v) { appendRaw(&v, sizeof v); }
    void appendInt64(std::int64_t v) { appendRaw(&v, sizeof v); }
    void appendFloat64(double v) { appendRaw(&v, sizeof v); }
    /// Length-prefixed string.
    void appendString(const std::string& s)
    {
        appendInt32(static_cast<std::int32_t>(s.size()));
        bytes_.append(s);
    }
    /// Raw bytes with no prefix (the reader must know the length).
    void appendBlock(const char* data, std::size_t len) { bytes_.append(data, len); }

    const std::string& bytes() const { return bytes_; }
    std::string& bytes() { return bytes_; }
    void clear() { bytes_.clear(); }

private:
    void appendRaw(const void* p, std::size_t n)
    {
        // The layer is single-host: host byte order is the wire order (x86-64: little-endian).
        bytes_.append(static_cast<const char*>(p), n);
    }
    std::string bytes_;
};

} // namespace yarp::os
