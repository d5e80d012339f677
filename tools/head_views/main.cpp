// head_views: the left camera of a running simulator at a grid of head poses and ball
// positions. For each ball position (placed through the world port and read back) the head
// is moved to each pose in position mode; once it has stopped, the next frames are taken,
// the frame is saved as PPM and its figures (sim/render/view_figures.h) are written as one line
// together with the ball as read back and the head joints as read at the capture, which
// may differ from the commanded ones (a real joint stops at its own limit). The stand-in's
// suite renders the same views from those lines and holds them to the same tolerances as
// the reference frames.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <yarp/dev/IControlMode.h>
#include <yarp/dev/IEncoders.h>
#include <yarp/dev/IPositionControl.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Network.h>
#include <yarp/os/Property.h>

#include "robot_probe.h"
#include "sim/render/view_figures.h"
#include "tour.h"

namespace {

using namespace std::chrono_literals;
using Joints = probe::HeadJoints;

const char* const usageText =
    "Usage: head_views [--out DIR] [--speed DEG_S] [--wait S]\n"
    "\n"
    "With a simulator running (the real iCub simulator or robot_sim, ports under /icubSim),\n"
    "puts the ball at three places on the table and, for each, moves the head to each of\n"
    "44 poses (every joint alone from rest and from a look down at the table, limits\n"
    "included, and combinations), saves the left camera's frame once the head has stopped\n"
    "as DIR/<view>.ppm, and writes DIR/head_views.txt: one line per view with the ball as\n"
    "read back (x y z, metres), the six head joints as read at the capture (degrees), the\n"
    "pure-blue pixels (count, centroid u v), the blue-test pixels that are not pure blue\n"
    "(count, centroid) and those on a 4 x 4 grid. Exits 0 when every view was captured.\n"
    "\n"
    "Options:\n"
    "  --out DIR      folder for the frames and the figures (default head-views; created)\n"
    "  --speed DEG_S  reference speed of the head's moves (default 40)\n"
    "  --wait S       seconds to wait for the simulator's ports (default 30)\n"
    "  -h, --help     this text\n";

struct View {
    probe::Position ball;
    Joints head;
};

std::vector<probe::Position> ballPlaces()
{
    // On the table (top x -0.35..0.35, z 0.25..0.65): the default ball at the front right,
    // one at the back in the middle, one on the left.
    return {{-0.15, 0.554, 0.35}, {0.0, 0.554, 0.62}, {0.25, 0.554, 0.45}};
}

std::vector<Joints> headPoses()
{
    std::vector<Joints> poses{{0, 0, 0, 0, 0, 0}};
    // Each joint alone from rest, to its limits or near them.
    const std::vector<std::pair<int, double>> alone = {{0, -40}, {0, -20}, {0, 30}, {1, -20}, {1, 20}, {2, -55},
                                                       {2, 55},  {3, -35}, {3, 15}, {4, -50}, {4, 52}, {5, 40}};
    for (const auto& [joint, value] : alone) {
        Joints j{};
        j[joint] = value;
        poses.push_back(j);
    }
    // Each joint alone from a look down at the table (neck pitch -35, eye tilt -30).
    const Joints down{-35, 0, 0, -30, 0, 0};
    poses.push_back(down);
    const std::vector<std::pair<int, double>> fromDown = {{0, 10},  {0, -5},  {1, -10}, {1, 10}, {2, -25}, {2, -10},
                                                          {2, 10},  {2, 25},  {3, 10},  {3, -5}, {4, -25}, {4, -10},
                                                          {4, 10},  {4, 25},  {5, 20}};
    for (const auto& [joint, offset] : fromDown) {
        Joints j = down;
        j[joint] += offset;
        poses.push_back(j);
    }
    // Joints together: neck pitch with yaw and tilt, eyes turned with the neck, limits.
    const std::vector<Joints> together = {
        {-40, 0, 30, -35, 0, 0},   {-40, 0, -30, -35, 0, 0},  {-20, 0, 20, -20, 20, 0},  {-40, 0, 55, 0, 0, 0},
        {-40, 0, -55, 0, 0, 0},    {-30, 0, 0, 0, 40, 0},     {-30, 0, 0, 0, -40, 0},    {-40, 0, 45, -35, -20, 0},
        {-40, 0, -45, -35, 20, 0}, {-30, 0, -20, -25, -15, 0}, {-25, 10, 15, -30, 10, 10}, {-40, 15, -20, -35, 0, 0},
        {-35, -15, 20, -30, 0, 0}, {-40, 0, -55, -35, -50, 0}, {-40, 0, 55, -35, 52, 0},
    };
    poses.insert(poses.end(), together.begin(), together.end());
    return poses;
}

/// Moves the head through a control-board client of its own.
class HeadMover {
public:
    bool open(const std::string& local, const std::string& remote, std::string* error)
    {
        yarp::os::Property config;
        config.put("device", "remote_controlboard");
        config.put("local", local);
        config.put("remote", remote);
        if (!driver_.open(config) || !driver_.view(position_) || !driver_.view(modes_) || !driver_.view(encoders_)) {
            *error = "no head board at " + remote + " (is the simulator running?)";
            return false;
        }
        return true;
    }

    /// Position mode for every joint and a move to `target` at `speed` degrees per second;
    /// false with the call that failed in `error`.
    bool start(const Joints& target, double speed, std::string* error)
    {
        const std::vector<double> speeds(6, speed);
        for (int j = 0; j < 6; ++j) {
            int mode = 0;
            // Switching a joint that is in position mode already is skipped: it is not needed.
            if ((!modes_->getControlMode(j, &mode) || mode != VOCAB_CM_POSITION)
                && !modes_->setControlMode(j, VOCAB_CM_POSITION)) {
                *error = "position mode refused for joint " + std::to_string(j);
                return false;
            }
        }
        // The real simulator refuses reference speeds over its remote board: then the
        // joints move at its own.
        if (!position_->setRefSpeeds(speeds.data()) && !speedsRefused_) {
            speedsRefused_ = true;
            std::fprintf(stderr, "head_views: the board refused the reference speeds; moving at its own\n");
        }
        if (!position_->positionMove(target.data())) {
            *error = "position move refused";
            return false;
        }
        return true;
    }

    bool read(Joints* j) { return encoders_->getEncoders(j->data()); }

    void close() { driver_.close(); }

private:
    yarp::dev::PolyDriver driver_;
    yarp::dev::IPositionControl* position_ = nullptr;
    yarp::dev::IControlMode* modes_ = nullptr;
    yarp::dev::IEncoders* encoders_ = nullptr;
    bool speedsRefused_ = false;
};

double largestDifference(const Joints& a, const Joints& b)
{
    double d = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        d = std::max(d, std::fabs(a[i] - b[i]));
    }
    return d;
}

/// Waits until the head is at `target` or has stopped short of it (a joint at its limit);
/// false when it is still moving after `timeout` or the encoders cannot be read.
bool waitForStop(HeadMover& head, const Joints& target, tour::Cancel& cancel, std::chrono::seconds timeout, Joints* at)
{
    const auto start = probe::Clock::now();
    Joints before{};
    bool haveBefore = false;
    while (probe::Clock::now() - start < timeout) {
        if (!cancel.sleepFor(150ms)) {
            return false;
        }
        Joints now{};
        if (!head.read(&now)) {
            continue;
        }
        const bool there = largestDifference(now, target) < 0.3;
        const bool still = haveBefore && largestDifference(now, before) < 0.02;
        if ((there || still) && probe::Clock::now() - start > 400ms) {
            *at = now;
            return true;
        }
        before = now;
        haveBefore = true;
    }
    return false;
}

bool writePpm(const probe::RgbImage& image, const std::string& path)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    std::fprintf(out, "P6\n%zu %zu\n255\n", image.width(), image.height());
    for (std::size_t y = 0; y < image.height(); ++y) {
        std::fwrite(image.getRawImage() + y * image.getRowSize(), 1, image.width() * 3, out);
    }
    return std::fclose(out) == 0;
}

std::string viewName(std::size_t index, const View& v)
{
    char name[96];
    std::snprintf(name, sizeof name, "%03zu_%g_%g_%g_%g_%g_%g", index, v.head[0], v.head[1], v.head[2], v.head[3],
                  v.head[4], v.head[5]);
    return name;
}

int capture(const std::string& out, double speed, double waitSeconds, tour::Cancel& cancel)
{
    if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "head_views: cannot create the folder %s\n", out.c_str());
        return 1;
    }
    const std::string figuresPath = out + "/head_views.txt";
    std::FILE* figures = std::fopen(figuresPath.c_str(), "w");
    if (figures == nullptr) {
        std::fprintf(stderr, "head_views: cannot write %s\n", figuresPath.c_str());
        return 1;
    }
    std::fprintf(figures, "# ball x y z as read back, head joints (6) as read at the capture, pure-blue pixels, "
                          "their centroid u v, blue-test pixels not pure blue, their centroid u v (-1: none), "
                          "those in a 4x4 grid row by row\n");
    probe::WorldClient world;
    probe::CameraWatch camera;
    HeadMover head;
    std::string error;
    const auto deadline = probe::Clock::now() + std::chrono::duration_cast<probe::Clock::duration>(
                                                    std::chrono::duration<double>(waitSeconds));
    bool connected = false;
    while (!cancel.cancelled() && probe::Clock::now() < deadline) {
        connected = world.open("/head_views/world", "/icubSim/world", &error)
                    && head.open("/head_views/head", "/icubSim/head", &error)
                    && camera.open("/head_views/camera", "/icubSim/cam/left", &error);
        if (connected) {
            break;
        }
        world.close();
        head.close();
        camera.close();
        cancel.sleepFor(1s);
    }
    int failures = 0;
    if (!connected) {
        std::fprintf(stderr, "head_views: %s\n", error.c_str());
        failures = 1;
    }
    std::size_t index = 0;
    for (const probe::Position& place : ballPlaces()) {
        if (!connected || cancel.cancelled()) {
            break;
        }
        if (!world.setBall(place, &error)) {
            std::fprintf(stderr, "head_views: the world refused the ball: %s\n", error.c_str());
            ++failures;
            continue;
        }
        const tour::Placement rested = tour::readBack(world, place, &cancel);
        if (!rested.asPut) {
            std::fprintf(stderr, "head_views: %s\n", rested.note.c_str());
            ++failures;
            continue;
        }
        for (const Joints& pose : headPoses()) {
            if (cancel.cancelled()) {
                break;
            }
            const View view{rested.at, pose};
            const std::string name = viewName(++index, view);
            Joints settled{};
            if (!head.start(pose, speed, &error)) {
                std::fprintf(stderr, "head_views: %s: %s\n", name.c_str(), error.c_str());
                ++failures;
                continue;
            }
            if (!waitForStop(head, pose, cancel, 20s, &settled)) {
                std::fprintf(stderr, "head_views: %s: the head did not get there\n", name.c_str());
                ++failures;
                continue;
            }
            // Two frames rendered after the head stopped.
            const auto stoppedAt = probe::Clock::now();
            probe::CameraFrame frame = camera.latest();
            int fresh = 0;
            while (fresh < 2 && camera.waitForFrame(frame.sequence, 2s, &frame)) {
                fresh += frame.received > stoppedAt + 100ms ? 1 : 0;
            }
            const std::shared_ptr<const probe::RgbImage> image = camera.latestImage();
            Joints at{};
            if (fresh < 2 || image == nullptr || !head.read(&at)) {
                std::fprintf(stderr, "head_views: %s: no frame after the move\n", name.c_str());
                ++failures;
                continue;
            }
            if (largestDifference(at, settled) > 0.2) {
                std::fprintf(stderr, "head_views: %s: the head moved during the capture (%.2f degrees)\n", name.c_str(),
                             largestDifference(at, settled));
            }
            const sim::ViewFigures f = sim::measureView(image->getRawImage(), image->width(), image->height(),
                                                        image->getRowSize());
            std::fprintf(figures, "%.4f %.4f %.4f %.2f %.2f %.2f %.2f %.2f %.2f %s\n", view.ball.x, view.ball.y,
                         view.ball.z, at[0], at[1], at[2], at[3], at[4], at[5], sim::toText(f).c_str());
            std::fflush(figures);
            if (!writePpm(*image, out + "/" + name + ".ppm")) {
                std::fprintf(stderr, "head_views: cannot write %s/%s.ppm\n", out.c_str(), name.c_str());
            }
            std::printf("%s: ball %ld px at (%.1f %.1f), body %ld px\n", name.c_str(), f.ball, f.ballU, f.ballV, f.body);
            std::fflush(stdout);
        }
    }
    // Leave the head at rest in position mode.
    if (connected) {
        head.start(Joints{}, speed, &error);
    }
    std::fclose(figures);
    camera.close();
    head.close();
    world.close();
    if (cancel.cancelled()) {
        std::fprintf(stderr, "head_views: interrupted\n");
        return 1;
    }
    std::printf("head_views: %zu views, %d failures, figures in %s\n", index, failures, figuresPath.c_str());
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string out = "head-views";
    double speed = 40.0, wait = 30.0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        char* end = nullptr;
        if (a == "-h" || a == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (a == "--out" && value && argv[i + 1][0] != '\0') {
            out = argv[++i];
        } else if ((a == "--speed" || a == "--wait") && value) {
            const double v = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(v > 0.0) || v > 3600.0) {
                std::fprintf(stderr, "head_views: %s needs a positive number (at most 3600)\n", a.c_str());
                return 2;
            }
            (a == "--speed" ? speed : wait) = v;
        } else {
            std::fprintf(stderr, "head_views: bad argument '%s'\nTry 'head_views --help'.\n", a.c_str());
            return 2;
        }
    }
    // SIGINT and SIGTERM end the capture between views, with every port closed.
    tour::Cancel cancel;
    const tour::StopSignals stopSignals(cancel);
    int status = 1;
    {
        yarp::os::Network network;
        status = capture(out, speed, wait, cancel);
    }
    return status;
}
