#pragma once
// Measuring instruments for a running robot: what the left camera shows (where the blue
// ball is), where the simulator's world puts the ball, and what the head's encoders read.
// The tour program, the end-to-end suites and the end-to-end figures all look at the robot
// through these, from outside the controller, using only the public YARP API.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <yarp/dev/IEncoders.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Port.h>
#include <yarp/sig/Image.h>

namespace probe {

using Clock = std::chrono::steady_clock;
using RgbImage = yarp::sig::ImageOf<yarp::sig::PixelRgb>;

/// How an open's error starts when the instrument's own port was refused (rather than the
/// robot's port missing): the caller may try again under another name.
inline const std::string kLocalPortRefused = "cannot open the port ";

/// The pixels of one image in the ball's colour, by the controller's colour tests (clearly
/// and purely blue, so not the navy of the robot's covers) and its minimum size ((width div
/// 20) x (height div 20) pixels). All such pixels count, whatever blob they belong to.
struct BlueBlob {
    bool found = false;     ///< more ball-coloured pixels than the minimum size
    double x = 0.0;         ///< centroid column (meaningful when count > 0)
    double y = 0.0;         ///< centroid row
    std::size_t count = 0;  ///< number of ball-coloured pixels
    std::size_t width = 0;
    std::size_t height = 0;

    /// Distance of the centroid from the image centre, in pixels.
    double error() const;
};

/// Scans every pixel of `image`.
BlueBlob findBlueBlob(const RgbImage& image);

/// One camera frame as the watcher saw it.
struct CameraFrame {
    std::uint64_t sequence = 0;  ///< 1 for the first frame received, 0 before any
    Clock::time_point received;
    BlueBlob blob;
};

/// Receives a camera stream on a port of its own and keeps the newest frame and its blob.
///
/// A thread reads the stream; waitForFrame() blocks on a condition variable until a newer
/// frame is in, so callers follow the stream frame by frame without polling.
class CameraWatch {
public:
    CameraWatch() = default;
    ~CameraWatch();
    CameraWatch(const CameraWatch&) = delete;
    CameraWatch& operator=(const CameraWatch&) = delete;

    /// Opens `localPort` and connects `source` to it. On failure returns false and sets
    /// `error` to one line.
    bool open(const std::string& localPort, const std::string& source, std::string* error);
    /// Stops the reader and closes the port. Idempotent.
    void close();

    /// The newest frame (sequence 0 before the first).
    CameraFrame latest() const;
    /// A copy of the newest image, or nullptr before the first.
    std::shared_ptr<const RgbImage> latestImage() const;
    /// Waits until a frame newer than `afterSequence` is in; false on timeout or close.
    bool waitForFrame(std::uint64_t afterSequence, std::chrono::milliseconds timeout, CameraFrame* frame);

private:
    void readLoop();

    yarp::os::BufferedPort<RgbImage> port_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::condition_variable newFrame_;
    CameraFrame latest_;
    std::shared_ptr<const RgbImage> image_;
    bool closed_ = false;
};

/// A ball position in world coordinates (metres; x to the robot's left, y up, z forward).
struct Position {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

/// Talks to the simulator's world port ("world set ball X Y Z", "world get ball").
class WorldClient {
public:
    /// Opens `localPort` and connects it to `worldPort`; false with one line in `error`.
    bool open(const std::string& localPort, const std::string& worldPort, std::string* error);
    void close();

    /// Places the ball; false with the world's reason (or "no reply") in `error`.
    bool setBall(const Position& p, std::string* error);
    /// Where the ball is now; false when the world does not answer with three numbers.
    bool getBall(Position* p);

private:
    yarp::os::Port port_;
};

/// Six head joint values, degrees: pitch, roll, yaw, eye tilt, eye version, eye vergence.
using HeadJoints = std::array<double, 6>;

/// Reads the head's encoders through a control-board client of its own.
class HeadProbe {
public:
    ~HeadProbe();
    /// Opens a remote_controlboard client on `remotePort` under `localPort`; false with
    /// one line in `error` (no board, or one without six axes).
    bool open(const std::string& localPort, const std::string& remotePort, std::string* error);
    void close();

    /// Joint positions; false when the board could not be read.
    bool positions(HeadJoints* joints);
    /// Joint speeds (degrees per second) over the board's last step; false on failure.
    bool speeds(HeadJoints* joints);

private:
    yarp::dev::PolyDriver driver_;
    yarp::dev::IEncoders* encoders_ = nullptr;
};

/// CPU time (user + system) a process has used so far, in seconds; negative when the
/// process cannot be read (/proc/PID/stat).
double processCpuSeconds(long pid);

/// Resident set size of a process in kilobytes (/proc/PID/status VmRSS); negative when
/// unknown.
long processRssKb(long pid);

}  // namespace probe
