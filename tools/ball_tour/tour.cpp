#include "tour.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <future>
#include <thread>

namespace tour {

namespace {

using namespace std::chrono_literals;

double since(probe::Clock::time_point from, probe::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

/// One frame with the head as read right after it arrived.
struct Sample {
    probe::Clock::time_point at;
    probe::BlueBlob blob;
    probe::HeadJoints head{};
    probe::HeadJoints speed{};
};

bool eyesNearZero(const Sample& s, double tolerance)
{
    return std::fabs(s.head[3]) <= tolerance && std::fabs(s.head[4]) <= tolerance;
}

}  // namespace

StopSignals::StopSignals(Cancel& cancel)
{
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this, &cancel] {
        int sig = 0;
        sigwait(&signals_, &sig);
        if (!finished_) {
            cancel.cancel();
        }
    });
}

StopSignals::~StopSignals()
{
    finished_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);  // wake the signal thread
    thread_.join();
}

void Cancel::cancel()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
}

bool Cancel::cancelled() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
}

bool Cancel::sleepFor(std::chrono::duration<double> duration)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return cancelled_; });
}

std::vector<Stop> defaultStops()
{
    // Every ball lies on the table (top x -0.35..0.35, z 0.25..0.65 at 0.515 m; the ball's
    // centre 0.554 m high), a few centimetres inside its edges. The first is out of view from
    // rest and needs only moderate eye swings to be found. The simulator's default ball
    // (-0.15, 0.554, 0.35) is not a stop: the search finds it only when tilt and version swing
    // far together, which the real simulator's swings, shrunk with its pace on a loaded
    // machine, often miss within a stop's time.
    return {
        {"far right of the table, out of view (the search finds it)", {-0.30, 0.554, 0.58}, Expect::Centred},
        {"back of the table, left", {0.15, 0.554, 0.61}, Expect::Centred},
        {"back of the table, middle", {0.0, 0.554, 0.62}, Expect::Centred},
        {"back of the table, right", {-0.2, 0.554, 0.61}, Expect::Centred},
        {"far left of the table, out of view (the search finds it)", {0.30, 0.554, 0.58}, Expect::Centred},
    };
}

probe::Position hiddenPosition() { return {0.0, 0.04, -2.0}; }

std::string seconds(double s)
{
    if (s < 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

Placement readBack(probe::WorldClient& world, const probe::Position& put, Cancel* cancel,
                   std::chrono::milliseconds timeout)
{
    // A ball across an edge starts to tip only slowly: give it a moment before the first
    // reading counts, then wait for two readings a quarter second apart to agree.
    constexpr auto kFirstLook = 1000ms;
    constexpr auto kInterval = 250ms;
    constexpr double kStill = 0.001;
    constexpr double kBesidePut = 0.01;
    // The lowest a ball on the table can be: anything lower lies on the floor.
    constexpr double kTableFace = 0.5;
    Placement p;
    const auto sleep = [&](std::chrono::milliseconds d) {
        return cancel == nullptr ? (std::this_thread::sleep_for(d), true) : cancel->sleepFor(d);
    };
    const probe::Clock::time_point deadline = probe::Clock::now() + timeout;
    if (!sleep(kFirstLook)) {
        p.note = "interrupted";
        return p;
    }
    probe::Position previous;
    bool havePrevious = false;
    while (true) {
        probe::Position now;
        if (world.getBall(&now)) {
            p.answered = true;
            p.at = now;
            if (havePrevious && std::fabs(now.x - previous.x) < kStill && std::fabs(now.y - previous.y) < kStill
                && std::fabs(now.z - previous.z) < kStill) {
                p.steady = true;
                break;
            }
            previous = now;
            havePrevious = true;
        }
        if (probe::Clock::now() + kInterval > deadline || !sleep(kInterval)) {
            break;
        }
    }
    char text[160];
    if (!p.answered) {
        p.note = "the world did not tell where the ball is (world get ball)";
        return p;
    }
    const double beside = std::hypot(p.at.x - put.x, p.at.z - put.z);
    const bool onTheFloor = p.at.y < kTableFace && put.y >= kTableFace;
    p.asPut = p.steady && beside <= kBesidePut && !onTheFloor && p.at.y <= put.y + kBesidePut;
    if (p.asPut) {
        return p;
    }
    if (!p.steady) {
        std::snprintf(text, sizeof text, "the ball did not come to rest within %s (last at %.3f %.3f %.3f)",
                      seconds(std::chrono::duration<double>(timeout).count()).c_str(), p.at.x, p.at.y, p.at.z);
    } else if (onTheFloor) {
        std::snprintf(text, sizeof text, "the ball fell to the floor at (%.3f %.3f %.3f)", p.at.x, p.at.y, p.at.z);
    } else {
        std::snprintf(text, sizeof text, "the ball did not stay where it was put: it came to rest at (%.3f %.3f %.3f)",
                      p.at.x, p.at.y, p.at.z);
    }
    p.note = text;
    return p;
}

StopResult Tour::run(const Stop& stop)
{
    std::string error;
    const probe::Clock::time_point movedAt = probe::Clock::now();
    if (!world_.setBall(stop.ball, &error)) {
        StopResult result;
        result.note = "the world refused the ball: " + error;
        return result;
    }
    // The read-back runs beside the following, so that how soon the robot finds the ball is
    // measured from the move as before; the world port is not used by anything else.
    // A ball that did not stay ends the following early.
    misplaced_ = false;
    std::future<Placement> placement = std::async(std::launch::async, [&] {
        Placement p = readBack(world_, stop.ball, settings_.cancel);
        misplaced_ = !p.asPut;
        return p;
    });
    StopResult result = follow(stop.expect, movedAt);
    result.placement = placement.get();
    if (!result.placement.asPut && !(settings_.cancel != nullptr && settings_.cancel->cancelled())) {
        // Whatever the robot did, it was not shown the ball where this stop puts it; the
        // following ended there.
        result.ok = false;
        result.centred = result.heldAtLimit = false;
        result.note = result.placement.note;
    }
    return result;
}

StopResult Tour::follow(Expect expect, probe::Clock::time_point movedAt)
{
    StopResult result;
    result.placed = true;
    const probe::Clock::time_point deadline = movedAt + settings_.timeout;
    std::deque<Sample> window;  // the last `settle` of frames
    Sample last;
    bool haveSample = false;
    // A frame rendered before the move may still be on its way: start after the first one.
    std::uint64_t sequence = camera_.latest().sequence;
    probe::CameraFrame frame;
    if (camera_.waitForFrame(sequence, 2s, &frame)) {
        sequence = frame.sequence;
    }

    const auto cancelled = [this] { return settings_.cancel != nullptr && settings_.cancel->cancelled(); };
    while (probe::Clock::now() < deadline && !cancelled() && !misplaced_) {
        if (!camera_.waitForFrame(sequence, 2s, &frame)) {
            continue;  // no frame for a while; the deadline decides
        }
        sequence = frame.sequence;
        Sample s;
        s.at = frame.received;
        s.blob = frame.blob;
        if (!head_.positions(&s.head) || !head_.speeds(&s.speed)) {
            continue;
        }
        last = s;
        haveSample = true;
        if (s.blob.found && !result.found) {
            result.found = true;
            result.foundAfter = since(movedAt, s.at);
        }
        window.push_back(s);
        while (window.size() > 1 && since(window[1].at, s.at) >= std::chrono::duration<double>(settings_.settle).count()) {
            window.pop_front();
        }
        if (since(window.front().at, s.at) < std::chrono::duration<double>(settings_.settle).count()) {
            continue;  // not a full window yet
        }

        const bool allFound = std::all_of(window.begin(), window.end(), [](const Sample& w) { return w.blob.found; });
        if (!allFound) {
            continue;
        }
        const bool eyesSettled = std::all_of(window.begin(), window.end(),
                                             [&](const Sample& w) { return eyesNearZero(w, settings_.eyeToleranceDeg); });
        double sum = 0.0;
        double lo = 1e9;
        double hi = -1e9;
        for (const Sample& w : window) {
            sum += w.blob.error();
            lo = std::min(lo, w.blob.error());
            hi = std::max(hi, w.blob.error());
        }
        const double mean = sum / window.size();
        if (eyesSettled && hi <= settings_.tolerancePx) {
            result.centred = true;
        } else if (eyesSettled && lo > settings_.tolerancePx && hi - lo <= 1.5) {
            // Off centre and not getting closer although the tracking agent commands the
            // neck toward the ball: the neck is blocked.
            const bool neckStill = std::all_of(window.begin(), window.end(), [](const Sample& w) {
                return std::fabs(w.speed[0]) < 0.5 && std::fabs(w.speed[2]) < 0.5;
            });
            result.heldAtLimit = neckStill;
        }
        if (result.centred || result.heldAtLimit) {
            result.settledAfter = since(movedAt, window.front().at);
            result.errorPx = mean;
            break;
        }
    }

    result.snapshot = camera_.latestImage();
    if (haveSample) {
        result.head = last.head;
        if (result.errorPx < 0 && last.blob.found) {
            result.errorPx = last.blob.error();
        }
    }
    char text[200];
    if (result.centred) {
        result.ok = true;
        std::snprintf(text, sizeof text, "centred after %s, %.1f px from the centre", seconds(result.settledAfter).c_str(),
                      result.errorPx);
    } else if (result.heldAtLimit) {
        result.ok = expect == Expect::HeldAtLimit;
        std::snprintf(text, sizeof text, "held in view at %.1f px from the centre: the neck is at its limit (pitch %.1f, yaw %.1f)",
                      result.errorPx, result.head[0], result.head[2]);
    } else if (cancelled()) {
        std::snprintf(text, sizeof text, "interrupted");
    } else if (!haveSample) {
        std::snprintf(text, sizeof text, "no camera frames or head readings arrived");
    } else if (!result.found) {
        std::snprintf(text, sizeof text, "never found within %s", seconds(std::chrono::duration<double>(settings_.timeout).count()).c_str());
    } else if (!last.blob.found) {
        std::snprintf(text, sizeof text, "found after %s, then lost", seconds(result.foundAfter).c_str());
    } else {
        std::snprintf(text, sizeof text, "not settled: last error %.1f px, eye tilt %.1f, version %.1f", last.blob.error(),
                      last.head[3], last.head[4]);
    }
    result.note = text;
    return result;
}

}  // namespace tour
