#pragma once
// Helpers shared by the behaviour agent suites: synthetic camera images and a recorder of the
// values a Space key takes (objects are kept for the whole run with support/kept.h).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <yarp/sig/Vector.h>

#include "agents/image_handle.h"
#include "core/agentspace.h"
#include "core/timer.h"
#include "support/kept.h"

namespace behaviour_test {

/// Agents, Spaces and watchers are kept for the whole run (support/kept.h).
using ac_test::make_kept;

/// The real-time clock (the clock of validity periods) in seconds.
inline double now_s() {
    timespec t;
    Timer::get_time(&t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

/// A `width` x `height` image of `background` with the pixels at `blue` painted (0, 0, 255).
inline ImageHandle make_image(std::size_t width, std::size_t height, yarp::sig::PixelRgb background,
                              const std::vector<std::pair<std::size_t, std::size_t>>& blue) {
    auto image = std::make_shared<CameraImage>();
    image->resize(width, height);
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            image->pixel(x, y) = background;
        }
    }
    for (const auto& [x, y] : blue) {
        image->pixel(x, y) = yarp::sig::PixelRgb{0, 0, 255};
    }
    return image;
}

/// The pixels of a `w` x `h` rectangle whose top-left corner is (x0, y0).
inline std::vector<std::pair<std::size_t, std::size_t>> rectangle(std::size_t x0, std::size_t y0,
                                                                  std::size_t w, std::size_t h) {
    std::vector<std::pair<std::size_t, std::size_t>> pixels;
    for (std::size_t y = y0; y < y0 + h; ++y) {
        for (std::size_t x = x0; x < x0 + w; ++x) {
            pixels.emplace_back(x, y);
        }
    }
    return pixels;
}

/// Records the vector in force under one Space key each time the key is written.
///
/// A thread of its own waits on a proxy registered on the key and reads the key when woken.
/// The monitor keeps a notification that arrives while the recorder is busy, so no write
/// goes unnoticed; writes that come faster than the recorder reads collapse into one sample
/// of the value in force. Samples carry the real-time clock at the read, which is never
/// earlier than the write that set the value.
class Recorder {
public:
    struct Sample {
        double time_s;
        yarp::sig::Vector value;  ///< empty when no valid value was in force
    };

    Recorder(Space& space, std::string key) : space(space), key(std::move(key)) {
        space.trigger_attach(this->key, &proxy, 1);
        thread = std::thread([this] { loop(); });
    }

    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    ~Recorder() { stop(); }

    /// Ends the recording thread. The proxy stays registered (and alive with the recorder).
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) return;
            stopping = true;
        }
        proxy.trigger();
        thread.join();
    }

    std::vector<Sample> samples() {
        std::lock_guard<std::mutex> lock(mutex);
        return recorded;
    }

    /// Waits until `done(samples)` holds or `timeout` has passed; returns whether it held.
    template <class Pred>
    bool wait_for(Pred done, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return done(recorded); });
    }

private:
    void loop() {
        for (;;) {
            monitor.wait_pending(nullptr);
            const yarp::sig::Vector value = space.read(key, yarp::sig::Vector{});
            const double time = now_s();
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) return;
            if (recorded.size() < kMaxSamples) recorded.push_back({time, value});
            changed.notify_all();
        }
    }

    static constexpr std::size_t kMaxSamples = 200000;

    Space& space;
    const std::string key;
    Monitor monitor;
    Proxy proxy{monitor};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Sample> recorded;
    bool stopping = false;
    std::thread thread;
};

}  // namespace behaviour_test
