// The stand-in's camera against the real simulator's: for every view measured on the real
// one the ball covers as many pixels in the same place, and the robot's own body puts
// pixels that pass the ball finder's blue test in the same parts of the image, in the same
// order of magnitude, and nowhere else. Two sets of views:
// - the reference frames (tests/sim/data/reference_poses.txt, measured on the frames in
//   the shared reference folder with tests/sim/data/reference_frames.py): eight head poses,
//   the default ball;
// - the head_views grid (tests/sim/data/head_views.txt, written by tools/head_views on the
//   real simulator): 44 head poses, every joint alone and in combinations, limits
//   included, at three ball positions; the joints and the ball as read at the capture.
//
// With AC_SIM_FRAME_DIR set, each rendered frame is also written there as PPM (for
// reference_frames.py side-by-side).
#include "sim/render/view_figures.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace sim;

namespace {

constexpr int kGrid = ViewFigures::kGrid;

struct RealView {
    std::vector<double> head;
    Vec3 ball{-0.15, 0.554, 0.35};
    ViewFigures real;
    std::string name;
};

std::string jointsName(const std::vector<double>& head)
{
    std::string n;
    for (double q : head) {
        n += (n.empty() ? "" : "_") + std::to_string(static_cast<int>(std::lround(q)));
    }
    return n;
}

std::vector<std::string> dataLines(const char* file)
{
    std::ifstream in(std::string(SIM_TEST_DATA_DIR) + "/" + file);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

// reference_poses.txt: six joints, ball count and centroid, the body's 4 x 4 cells.
std::vector<RealView> loadReferencePoses()
{
    std::vector<RealView> views;
    for (const std::string& line : dataLines("reference_poses.txt")) {
        std::istringstream fields(line);
        RealView v;
        v.head.resize(kHeadAxes);
        for (double& q : v.head) {
            fields >> q;
        }
        fields >> v.real.ball >> v.real.ballU >> v.real.ballV;
        for (long& c : v.real.bodyCells) {
            fields >> c;
            v.real.body += c;
        }
        v.name = jointsName(v.head);
        if (fields) {
            views.push_back(v);
        }
    }
    return views;
}

// head_views.txt: the ball, six joints, then the figures as head_views wrote them.
std::vector<RealView> loadHeadViews()
{
    std::vector<RealView> views;
    for (const std::string& line : dataLines("head_views.txt")) {
        std::istringstream fields(line);
        RealView v;
        fields >> v.ball.x >> v.ball.y >> v.ball.z;
        v.head.resize(kHeadAxes);
        for (double& q : v.head) {
            fields >> q;
        }
        char ball[64];
        std::snprintf(ball, sizeof ball, "ball %.2f %.2f %.2f, head ", v.ball.x, v.ball.y, v.ball.z);
        v.name = ball + jointsName(v.head);
        if (readFigures(fields, &v.real)) {
            views.push_back(v);
        }
    }
    return views;
}

std::string cells(const ViewFigures& f)
{
    std::string s;
    for (int i = 0; i < kGrid * kGrid; ++i) {
        s += (i % kGrid == 0 ? (i == 0 ? "[" : " | ") : " ") + std::to_string(f.bodyCells[i]);
    }
    return s + "]";
}

bool nearCell(const ViewFigures& f, int cell, long atLeast)
{
    const int row = cell / kGrid, col = cell % kGrid;
    for (int r = std::max(row - 1, 0); r <= std::min(row + 1, kGrid - 1); ++r) {
        for (int c = std::max(col - 1, 0); c <= std::min(col + 1, kGrid - 1); ++c) {
            if (f.bodyCells[r * kGrid + c] >= atLeast) {
                return true;
            }
        }
    }
    return false;
}

/// Why the stand-in's figures differ from the real ones beyond the tolerances, or empty.
std::string disagreement(const ViewFigures& real, const ViewFigures& sim)
{
    char text[200];
    // A few dozen pure-blue pixels in a real frame are the darkest body pixels, not the
    // ball: then the ball is out of view and must be so here too.
    if (real.ball >= 100) {
        if (std::abs(sim.ball - real.ball) > 0.3 * real.ball || std::abs(sim.ballU - real.ballU) > 8.0
            || std::abs(sim.ballV - real.ballV) > 8.0) {
            std::snprintf(text, sizeof text, "ball: real %ld px at (%.1f %.1f), here %ld px at (%.1f %.1f)", real.ball,
                          real.ballU, real.ballV, sim.ball, sim.ballU, sim.ballV);
            return text;
        }
    } else if (sim.ball >= 100) {
        std::snprintf(text, sizeof text, "ball: real %ld px, here %ld px at (%.1f %.1f)", real.ball, sim.ball, sim.ballU,
                      sim.ballV);
        return text;
    }
    // The body, on the 4 x 4 grid: as many pixels in all (within a factor of five), none
    // in a frame that has none, and where they show, within a cell of where the real frame
    // shows them.
    // Fewer than 50 such pixels (a sliver at an edge, a few shaded ones) count as none.
    constexpr long kNone = 50;
    const std::string both = "body: real " + cells(real) + ", here " + cells(sim);
    if (real.body < kNone || sim.body < kNone) {
        return (real.body < kNone) == (sim.body < kNone) ? "" : both;
    }
    if (sim.body * 5 < real.body || sim.body > real.body * 5) {
        return both + " (count)";
    }
    for (int i = 0; i < kGrid * kGrid; ++i) {
        if ((sim.bodyCells[i] >= 150 && !nearCell(real, i, 50)) || (real.bodyCells[i] >= 300 && !nearCell(sim, i, 50))) {
            return both + " (cell " + std::to_string(i) + ")";
        }
    }
    return "";
}

ViewFigures renderAndMeasure(const Renderer& renderer, const RealView& view, const char* frameDir, const std::string& file)
{
    const Intrinsics k;
    const auto rgb = sim_test::renderView(renderer, view.head, k, view.ball);
    if (frameDir != nullptr) {
        if (std::FILE* out = std::fopen((std::string(frameDir) + "/" + file + ".ppm").c_str(), "wb")) {
            std::fprintf(out, "P6\n%zu %zu\n255\n", k.width, k.height);
            std::fwrite(rgb.data(), 1, rgb.size(), out);
            std::fclose(out);
        }
    }
    return measureView(rgb.data(), k.width, k.height, k.width * 3);
}

// Views where the stand-in is known to differ from the real simulator, with why (see
// docs/notes/sim.md). Every other view must agree.
const char* const kLeftForearmLow =
    "the real left forearm's navy cover lies lower in the image (the bottom left cells) than the stand-in's";
const char* const kRightForearmHidesBall = "the real right forearm hides more of the ball";
const char* const kDarkestNavy = "the real body's darkest navy passes the pure-blue test (180-190 px); no ball is in view";
const std::vector<std::pair<std::string, const char*>> kKnownDifferences = {
    {"head -40_0_30_-35_0_0", kLeftForearmLow},
    {"head -20_0_20_-20_20_0", kRightForearmHidesBall},
    {"ball -0.15 0.55 0.35, head -35_0_25_-30_0_0", kLeftForearmLow},
    {"ball 0.00 0.55 0.62, head -35_0_25_-30_0_0", kLeftForearmLow},
    {"ball 0.25 0.55 0.45, head -35_0_25_-30_0_0", kLeftForearmLow},
    {"ball -0.15 0.55 0.35, head -40_0_30_-35_0_0", kLeftForearmLow},
    {"ball 0.00 0.55 0.62, head -40_0_30_-35_0_0", kLeftForearmLow},
    {"ball 0.25 0.55 0.45, head -40_0_30_-35_0_0", kLeftForearmLow},
    {"ball -0.15 0.55 0.35, head -20_0_20_-20_20_0", kRightForearmHidesBall},
    {"ball -0.15 0.55 0.35, head -40_0_-55_0_0_0",
     "the ball at the image's left edge shows 14 px further right: the real right hand hides its left part"},
    {"ball -0.15 0.55 0.35, head -40_0_45_-35_-20_0", kDarkestNavy},
    {"ball 0.00 0.55 0.62, head -40_0_45_-35_-20_0", kDarkestNavy},
    {"ball 0.25 0.55 0.45, head -40_0_45_-35_-20_0", kDarkestNavy},
    {"ball 0.00 0.55 0.62, head -40_0_55_-35_52_0",
     "the real ball's lower part shows at the image's top edge (324 px); the stand-in's lies just beyond it"},
};

bool knownDifference(const std::string& name)
{
    return std::any_of(kKnownDifferences.begin(), kKnownDifferences.end(),
                       [&](const auto& k) { return k.first == name; });
}

} // namespace

TEST(ReferencePoses, BallAndBodyAppearAsInTheRealSimulatorsFrames)
{
    const std::vector<RealView> views = loadReferencePoses();
    ASSERT_GE(views.size(), 8u) << "reference figures missing from " << SIM_TEST_DATA_DIR;
    const char* frameDir = std::getenv("AC_SIM_FRAME_DIR");
    const Renderer renderer(Scene::standard());
    for (const RealView& view : views) {
        const std::string why = disagreement(view.real, renderAndMeasure(renderer, view, frameDir, view.name));
        EXPECT_TRUE(why.empty() || knownDifference("head " + view.name)) << "head " << view.name << ": " << why;
    }
}

TEST(ReferencePoses, HeadViewsGridAppearsAsInTheRealSimulator)
{
    const std::vector<RealView> views = loadHeadViews();
    ASSERT_GE(views.size(), 120u) << "head_views figures missing from " << SIM_TEST_DATA_DIR;
    const char* frameDir = std::getenv("AC_SIM_FRAME_DIR");
    const Renderer renderer(Scene::standard());
    std::size_t agree = 0, index = 0;
    for (const RealView& view : views) {
        char file[16];
        std::snprintf(file, sizeof file, "view-%03zu", ++index);
        const std::string why = disagreement(view.real, renderAndMeasure(renderer, view, frameDir, file));
        if (why.empty()) {
            ++agree;
        } else if (!knownDifference(view.name)) {
            ADD_FAILURE() << file << " (" << view.name << "): " << why;
        }
    }
    std::printf("head views: %zu of %zu agree with the real simulator within the tolerances\n", agree, views.size());
}
