#pragma once
// The inspector's side of a controller's Space ports (see app/space_ports.h): requests on the
// rpc port, and the event trace recorded as JSON lines.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Port.h>

/// The controllers' port prefixes tried in turn when none is given.
extern const char* const kControllerPrefixes[2];

/// Asks a controller's "<controller>/space/rpc" from the local port "<name>/rpc".
class SpaceClient {
public:
    explicit SpaceClient(std::string name);
    ~SpaceClient();

    /// Connects to `controller` (a prefix such as "/agent_controller"), or, when it is empty,
    /// to the first controller of kControllerPrefixes that answers. False with `error` set
    /// when none does.
    bool connect(const std::string& controller, std::string* error);

    /// The prefix of the controller connected to.
    const std::string& controller() const { return connected; }

    /// Sends `request`; on "[ok]" puts the JSON text of the reply in `json`, otherwise the
    /// reply's "[fail]" line (or why there was none) in `error`.
    bool ask(const std::string& request, std::string* json, std::string* error);

private:
    std::string name;
    std::string connected;
    yarp::os::Port port;
    bool open = false;
};

/// Records a controller's event stream ("<controller>/space/events") as JSON lines, one event
/// per line (t, key, writer, priority, validity_ms, accepted, value), on a thread of its own,
/// from start() to stop(). Used by space_inspector --record and by ball_tour --trace.
class TraceRecorder {
public:
    /// `port` is the local port to read on, e.g. "/space_inspector/events".
    explicit TraceRecorder(std::string port);
    ~TraceRecorder();

    /// Opens `file` and starts recording what `controller` streams. False with `error` set
    /// when the file, the port or the connection fails.
    bool start(const std::string& controller, const std::string& file, std::string* error);

    /// The same, handing each line to `sink` (on the recorder's thread) instead of a file.
    bool start_feed(const std::string& controller, std::function<void(const std::string&)> sink,
                    std::string* error);

    /// Ends the recording and closes the file; returns the number of events written.
    std::uint64_t stop();

    /// Events written so far, and events the controller reported dropped (it could not keep
    /// up) since recording began.
    std::uint64_t events() const { return written.load(); }
    std::uint64_t dropped() const { return dropped_seen.load(); }

private:
    void run();

    std::string port_name;
    yarp::os::BufferedPort<yarp::os::Bottle> port;
    std::FILE* out = nullptr;
    std::function<void(const std::string&)> sink;
    std::thread reader;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> written{0};
    std::atomic<std::uint64_t> dropped_seen{0};
    std::int64_t dropped_at_start = -1;
    bool open = false;
};

/// One event trace per stop of a tour, DIR/<NN>-<name>.jsonl, from the controller that
/// answers first (kControllerPrefixes). With an empty DIR it does nothing.
class StopTraces {
public:
    explicit StopTraces(std::string dir);

    /// Starts the trace of stop `number`; prints one line when it cannot.
    void begin(std::size_t number, const std::string& name);

    /// Ends it; returns the line to print ("trace FILE (N events)"), empty when none ran.
    std::string end();

private:
    std::string dir;
    std::string file;
    TraceRecorder recorder{"/ball_tour/space/events"};
    bool running = false;
};
