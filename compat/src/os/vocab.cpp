#include <yarp/os/Vocab.h>

namespace yarp::os::Vocab32 {

yarp::conf::vocab32_t encode(const std::string& text)
{
    char c[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < text.size() && i < 4; ++i) {
        c[i] = text[i];
    }
    return createVocab32(c[0], c[1], c[2], c[3]);
}

std::string decode(yarp::conf::vocab32_t code)
{
    std::string text;
    auto bits = static_cast<std::uint32_t>(code);
    for (int i = 0; i < 4 && (bits & 0xffu) != 0; ++i, bits >>= 8) {
        text += static_cast<char>(bits & 0xffu);
    }
    return text;
}

} // namespace yarp::os::Vocab32
