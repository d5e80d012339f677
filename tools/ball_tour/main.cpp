// ball_tour: a scripted tour for a running simulator and controller. Places the ball at a
// sequence of positions through the simulator's world port and, for each, tells how long
// the robot took to centre it and how far from the image centre it stayed, measured on the
// camera stream; saves a camera snapshot per position. With --measure, moves the ball back
// and forth instead and prints the end-to-end figures.
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <QImage>
#include <QString>

#include <yarp/os/Network.h>

#include "measure.h"
#include "robot_probe.h"
#include "space_client.h"
#include "tour.h"

namespace {

using namespace std::chrono_literals;

const char* const usageText =
    "Usage: ball_tour [options]\n"
    "\n"
    "Runs a scripted tour against a running robot_sim and agent_controller: places the ball\n"
    "at a sequence of positions through /icubSim/world and, for each, prints how long the\n"
    "robot took to centre it and the remaining distance of the ball from the image centre\n"
    "(measured on /icubSim/cam/left), and saves a camera snapshot as PNG. Exits 0 when every\n"
    "position ended as expected, 1 otherwise, 2 on a bad command line.\n"
    "\n"
    "Options:\n"
    "  --out DIR          folder for the snapshots (default demo-output; created)\n"
    "  --stop X Y Z       a position of your own (metres; repeatable); replaces the\n"
    "                     built-in tour, and each such position must end centred\n"
    "  --tolerance PX     centred means within PX pixels of the centre (default 10)\n"
    "  --timeout S        seconds allowed per position (default 45)\n"
    "  --wait S           seconds to wait for the simulator and the controller (default 60)\n"
    "  --measure N        instead of the tour: move the ball N times between two places,\n"
    "                     then hide it 5 times, and print the end-to-end figures\n"
    "  --controller-pid P with --measure: also measure the CPU use of process P\n"
    "  --json FILE        with --measure: also write the figures to FILE as JSON\n"
    "  --trace DIR        record the controller's Space writes per stop: DIR/NN-stop.jsonl\n"
    "  -h, --help         this text\n"
    "\n"
    "World frame: x toward the robot's left, y up, z forward, metres. The simulator lets a\n"
    "ball set in mid-air fall onto the table or the floor. Each position is read back once\n"
    "the ball has stopped: a ball that did not stay where it was put (it fell off the table,\n"
    "0.70 x 0.40 m, top at 0.515 m, x -0.35..0.35, z 0.25..0.65) fails its position.\n"
    "\n"
    "Environment:\n"
    "  AGENT_CONTROLLER_PORTS   port registry directory of the bundled YARP layer\n";

struct Options {
    std::string out = "demo-output";
    std::vector<tour::Stop> stops;
    double tolerance = 10.0;
    double timeout = 45.0;
    double wait = 60.0;
    int measureMoves = 0;
    long controllerPid = 0;
    std::string json;
    std::string trace;
    bool help = false;
    std::string error;
};

bool parseNumber(const std::string& text, double* out)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(v)) {
        return false;
    }
    *out = v;
    return true;
}

Options parse(int argc, char** argv)
{
    Options o;
    std::vector<std::string> a(argv + 1, argv + argc);
    auto fail = [&](const std::string& why) {
        o.error = why;
        return o;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        const bool value = i + 1 < a.size();
        double v = 0.0;
        if (a[i] == "-h" || a[i] == "--help") {
            o.help = true;
        } else if (a[i] == "--out") {
            if (!value || a[i + 1].empty()) {
                return fail("--out needs a folder");
            }
            o.out = a[++i];
        } else if (a[i] == "--stop") {
            probe::Position p;
            if (i + 3 >= a.size() || !parseNumber(a[i + 1], &p.x) || !parseNumber(a[i + 2], &p.y)
                || !parseNumber(a[i + 3], &p.z)) {
                return fail("--stop needs three numbers X Y Z (metres)");
            }
            char label[80];
            std::snprintf(label, sizeof label, "position (%.3f %.3f %.3f)", p.x, p.y, p.z);
            o.stops.push_back({label, p, tour::Expect::Centred});
            i += 3;
        } else if (a[i] == "--tolerance" || a[i] == "--timeout" || a[i] == "--wait") {
            if (!value || !parseNumber(a[i + 1], &v) || v <= 0 || v > 3600) {
                return fail(a[i] + " needs a positive number (at most 3600)");
            }
            (a[i] == "--tolerance" ? o.tolerance : a[i] == "--timeout" ? o.timeout : o.wait) = v;
            ++i;
        } else if (a[i] == "--trace") {
            if (!value) {
                return fail("--trace needs a folder");
            }
            o.trace = a[++i];
        } else if (a[i] == "--measure") {
            if (!value || !parseNumber(a[i + 1], &v) || v < 1 || v > 1000 || v != std::floor(v)) {
                return fail("--measure needs a whole number of moves from 1 to 1000");
            }
            o.measureMoves = static_cast<int>(v);
            ++i;
        } else if (a[i] == "--controller-pid") {
            if (!value || !parseNumber(a[i + 1], &v) || v < 1 || v != std::floor(v)) {
                return fail("--controller-pid needs a process id");
            }
            o.controllerPid = static_cast<long>(v);
            ++i;
        } else if (a[i] == "--json") {
            if (!value || a[i + 1].empty()) {
                return fail("--json needs a file name");
            }
            o.json = a[++i];
        } else {
            return fail("unknown argument '" + a[i] + "'");
        }
    }
    if ((o.controllerPid != 0 || !o.json.empty()) && o.measureMoves == 0) {
        return fail("--controller-pid and --json go with --measure");
    }
    return o;
}

void printLine(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

/// Retries `attempt` until it succeeds, the deadline passes or the tour is cancelled.
template <class F>
bool retryUntil(probe::Clock::time_point deadline, tour::Cancel& cancel, F attempt)
{
    while (!attempt()) {
        if (probe::Clock::now() > deadline || !cancel.sleepFor(200ms)) {
            return false;
        }
    }
    return true;
}

/// The tour's own port names, one set per attempt: the plain names first, then numbered ones
/// ("/ball_tour/2/world", ...). A name server started again while other programs' ports are
/// still open hands out their numbers, and gives a name that met one that same number again
/// as long as its holder lives; a fresh name gets the next number.
class LocalNames {
public:
    /// The name for `role` ("world", "head", "camera") at the current attempt.
    std::string operator()(const char* role) const
    {
        return (attempt_ == 1 ? std::string("/ball_tour/") : "/ball_tour/" + std::to_string(attempt_) + "/") + role;
    }
    /// Wraps an open that says why it failed in `error`: after a refusal of the tour's own
    /// port (not a missing simulator), the next attempt takes fresh names.
    template <class F>
    auto counted(F open, const std::string& error)
    {
        return [this, open, &error] {
            if (open()) {
                return true;
            }
            if (error.rfind(probe::kLocalPortRefused, 0) == 0) {
                ++attempt_;
            }
            return false;
        };
    }
    int attempts() const { return attempt_; }

private:
    int attempt_ = 1;
};

std::string slug(const std::string& text)
{
    std::string s;
    for (char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            s += c;
        } else if (!s.empty() && s.back() != '-') {
            s += '-';
        }
    }
    // Keep file names short: whole words up to 48 characters.
    if (s.size() > 48) {
        const std::size_t cut = s.rfind('-', 48);
        s.resize(cut == std::string::npos || cut == 0 ? 48 : cut);
    }
    while (!s.empty() && s.back() == '-') {
        s.pop_back();
    }
    return s;
}

bool savePng(const probe::RgbImage& image, const std::string& path)
{
    QImage q(image.getRawImage(), static_cast<int>(image.width()), static_cast<int>(image.height()),
             static_cast<int>(image.getRowSize()), QImage::Format_RGB888);
    return q.save(QString::fromStdString(path), "PNG");
}

bool makeFolder(const std::string& path)
{
    std::string partial;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            partial = path.substr(0, i);
            if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int runTour(const Options& options, tour::Tour& tour, tour::Cancel& cancel)
{
    const std::vector<tour::Stop> stops = options.stops.empty() ? tour::defaultStops() : options.stops;
    if (!makeFolder(options.out)) {
        std::fprintf(stderr, "ball_tour: cannot create the folder %s\n", options.out.c_str());
        return 1;
    }
    int failures = 0;
    StopTraces traces(options.trace);
    for (std::size_t i = 0; i < stops.size() && !cancel.cancelled(); ++i) {
        const tour::Stop& stop = stops[i];
        std::printf("stop %zu/%zu: %s, ball at (%.3f %.3f %.3f)\n", i + 1, stops.size(), stop.label.c_str(), stop.ball.x,
                    stop.ball.y, stop.ball.z);
        std::fflush(stdout);
        traces.begin(i + 1, slug(stop.label));
        const tour::StopResult r = tour.run(stop);
        if (r.placement.answered) {
            std::printf("  ball at rest at (%.3f %.3f %.3f)%s\n", r.placement.at.x, r.placement.at.y, r.placement.at.z,
                        r.placement.asPut ? "" : ", not where it was put");
        }
        const std::string traced = traces.end();
        if (!traced.empty()) std::printf("  %s\n", traced.c_str());
        std::printf("  found after %s; %s\n", tour::seconds(r.foundAfter).c_str(), r.note.c_str());
        std::printf("  head: pitch %.1f  yaw %.1f  eye tilt %.1f  eye version %.1f (degrees)\n", r.head[0], r.head[2],
                    r.head[3], r.head[4]);
        if (r.snapshot) {
            char name[96];
            std::snprintf(name, sizeof name, "%02zu-%s.png", i + 1, slug(stop.label).c_str());
            const std::string path = options.out + "/" + name;
            std::printf("  snapshot %s%s\n", path.c_str(), savePng(*r.snapshot, path) ? "" : " (could not be written)");
        }
        std::printf("  %s\n", r.ok ? "ok" : "FAILED");
        std::fflush(stdout);
        failures += r.ok ? 0 : 1;
    }
    if (cancel.cancelled()) {
        printLine("tour interrupted");
        return 1;
    }
    std::printf("tour: %zu of %zu positions as expected\n", stops.size() - failures, stops.size());
    return failures == 0 ? 0 : 1;
}

int runMeasure(const Options& options, tour::Tour& tour, probe::WorldClient& world, probe::HeadProbe& head,
               tour::Cancel& cancel)
{
    tour::MeasureSettings settings;
    settings.moves = options.measureMoves;
    settings.controllerPid = options.controllerPid;
    settings.cancel = &cancel;
    const tour::Figures f = tour::measure(tour, world, head, settings, printLine);
    const tour::Stats latency = tour::stats(f.commandLatency);
    const tour::Stats centre = tour::stats(f.centreTime);
    const tour::Stats takeover = tour::stats(f.searchTakeover);
    std::printf("ball move -> first neck command at the board: median %.3f s, p90 %.3f s, min %.3f s, max %.3f s "
                "(%zu moves)\n",
                latency.median, latency.p90, latency.min, latency.max, latency.n);
    std::printf("ball move -> centred within %.0f px: median %.2f s, p90 %.2f s, min %.2f s, max %.2f s (%zu moves)\n",
                options.tolerance, centre.median, centre.p90, centre.min, centre.max, centre.n);
    std::printf("ball hidden -> first search command at the board: median %.3f s, p90 %.3f s, min %.3f s, "
                "max %.3f s (%zu hides)\n",
                takeover.median, takeover.p90, takeover.min, takeover.max, takeover.n);
    if (options.controllerPid > 0) {
        std::printf("controller CPU: %.1f %% of one core while tracking, %.1f %% with nothing to track\n", f.cpuTracking,
                    f.cpuIdle);
    }
    if (!options.json.empty()) {
        FILE* out = std::fopen(options.json.c_str(), "w");
        if (out == nullptr) {
            std::fprintf(stderr, "ball_tour: cannot write %s\n", options.json.c_str());
            return 1;
        }
        auto series = [&](const char* name, const tour::Stats& s, const char* unit) {
            std::fprintf(out, "  \"%s\": {\"median\": %.6f, \"p90\": %.6f, \"min\": %.6f, \"max\": %.6f, \"n\": %zu, "
                              "\"unit\": \"%s\"},\n",
                         name, s.median, s.p90, s.min, s.max, s.n, unit);
        };
        std::fprintf(out, "{\n");
        series("ball_move_to_first_neck_command", latency, "s");
        series("ball_move_to_centred", centre, "s");
        series("ball_hidden_to_first_search_command", takeover, "s");
        std::fprintf(out, "  \"controller_cpu_tracking_percent\": %.2f,\n", f.cpuTracking);
        std::fprintf(out, "  \"controller_cpu_idle_percent\": %.2f,\n", f.cpuIdle);
        std::fprintf(out, "  \"tolerance_px\": %.1f,\n", options.tolerance);
        std::fprintf(out, "  \"failures\": %d\n}\n", f.failures);
        std::fclose(out);
    }
    return f.failures == 0 && !cancel.cancelled() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "ball_tour: %s\nTry 'ball_tour --help'.\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText, stdout);
        return 0;
    }

    // SIGINT and SIGTERM are taken by one thread, which cancels the tour so that every port
    // is closed on the way out. Blocked before any other thread exists.
    tour::Cancel cancel;
    const tour::StopSignals stopSignals(cancel);
    int status = 1;
    {
        yarp::os::Network network;
        probe::CameraWatch camera;
        probe::WorldClient world;
        probe::HeadProbe head;
        const auto deadline = probe::Clock::now() + std::chrono::duration_cast<probe::Clock::duration>(
                                                        std::chrono::duration<double>(options.wait));
        std::string error;
        LocalNames local;
        const bool connected =
            retryUntil(deadline, cancel, local.counted([&] { return world.open(local("world"), "/icubSim/world", &error); }, error))
            && retryUntil(deadline, cancel, local.counted([&] { return head.open(local("head"), "/icubSim/head", &error); }, error))
            && retryUntil(deadline, cancel,
                          local.counted([&] { return camera.open(local("camera"), "/icubSim/cam/left", &error); }, error))
            // The controller's camera port: its agents are up once it exists.
            && retryUntil(deadline, cancel, [&] {
                   error = "the controller is not running (no port /left/image/in)";
                   return yarp::os::NetworkBase::exists("/left/image/in");
               });
        if (!connected) {
            const std::string tries = local.attempts() > 1 ? " (" + std::to_string(local.attempts()) + " attempts)" : "";
            std::fprintf(stderr, "ball_tour: %s%s\n", cancel.cancelled() ? "interrupted" : error.c_str(), tries.c_str());
        } else {
            tour::Settings settings;
            settings.tolerancePx = options.tolerance;
            settings.timeout = std::chrono::milliseconds(static_cast<long>(options.timeout * 1000));
            settings.cancel = &cancel;
            tour::Tour tour(camera, world, head, settings);
            status = options.measureMoves > 0 ? runMeasure(options, tour, world, head, cancel)
                                              : runTour(options, tour, cancel);
        }
        camera.close();
        head.close();
        world.close();
    }
    return status;
}
