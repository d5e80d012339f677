#include "sim/render/view_figures.h"

#include <cstdio>

namespace sim {

ViewFigures measureView(const std::uint8_t* rgb, std::size_t width, std::size_t height, std::size_t rowBytes)
{
    ViewFigures f;
    double bu = 0.0, bv = 0.0, nu = 0.0, nv = 0.0;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = rgb + y * rowBytes;
        for (std::size_t x = 0; x < width; ++x) {
            const int r = row[3 * x], g = row[3 * x + 1], b = row[3 * x + 2];
            if (r <= 12 && g <= 12 && b >= 20) {
                ++f.ball;
                bu += static_cast<double>(x);
                bv += static_cast<double>(y);
            } else if (b > 1.2 * r + 10 && b > 1.2 * g + 10) {
                ++f.body;
                nu += static_cast<double>(x);
                nv += static_cast<double>(y);
                ++f.bodyCells[(y * ViewFigures::kGrid / height) * ViewFigures::kGrid + x * ViewFigures::kGrid / width];
            }
        }
    }
    if (f.ball > 0) {
        f.ballU = bu / static_cast<double>(f.ball);
        f.ballV = bv / static_cast<double>(f.ball);
    }
    if (f.body > 0) {
        f.bodyU = nu / static_cast<double>(f.body);
        f.bodyV = nv / static_cast<double>(f.body);
    }
    return f;
}

std::string toText(const ViewFigures& f)
{
    char text[96];
    std::snprintf(text, sizeof text, "%ld %.1f %.1f %ld %.1f %.1f", f.ball, f.ballU, f.ballV, f.body, f.bodyU, f.bodyV);
    std::string s = text;
    for (long c : f.bodyCells) {
        s += " " + std::to_string(c);
    }
    return s;
}

bool readFigures(std::istream& in, ViewFigures* f)
{
    in >> f->ball >> f->ballU >> f->ballV >> f->body >> f->bodyU >> f->bodyV;
    for (long& c : f->bodyCells) {
        in >> c;
    }
    return static_cast<bool>(in);
}

} // namespace sim
