#pragma once
// Camera frames recorded from the real simulator's left camera (320 x 240), loaded as packed
// 8-bit RGB for the ball finder's suites and benchmark. Needs Qt5 Gui (PNG decoding).
#include <algorithm>
#include <string>
#include <vector>

#include <QImage>

namespace reference_frames {

/// The folder holding the frames (set by the build).
inline std::string directory() { return AC_REFERENCE_FRAMES_DIR; }

struct Frame {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows of 3 * width bytes, no padding
    bool empty() const { return rgb.empty(); }
};

/// Loads `<directory>/<name>.png`; an empty frame when it cannot be read.
inline Frame load(const std::string& name) {
    const QImage image = QImage(QString::fromStdString(directory() + "/" + name + ".png"))
                             .convertToFormat(QImage::Format_RGB888);
    Frame frame;
    if (image.isNull()) return frame;
    frame.width = image.width();
    frame.height = image.height();
    frame.rgb.resize(static_cast<std::size_t>(3 * frame.width * frame.height));
    for (int y = 0; y < frame.height; ++y) {
        const uchar* line = image.constScanLine(y);
        std::copy(line, line + 3 * frame.width, frame.rgb.begin() + 3 * frame.width * y);
    }
    return frame;
}

/// The frame scaled up `factor` times in each direction, every pixel repeated.
inline Frame enlarged(const Frame& frame, int factor) {
    Frame big;
    big.width = frame.width * factor;
    big.height = frame.height * factor;
    big.rgb.resize(static_cast<std::size_t>(3 * big.width * big.height));
    for (int y = 0; y < big.height; ++y) {
        for (int x = 0; x < big.width; ++x) {
            const unsigned char* from = &frame.rgb[3 * ((y / factor) * frame.width + x / factor)];
            std::copy(from, from + 3, big.rgb.begin() + 3 * (y * big.width + x));
        }
    }
    return big;
}

}  // namespace reference_frames
