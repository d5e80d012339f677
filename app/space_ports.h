#pragma once
// The Space served on two YARP ports, so that an inspector on any host of the YARP network can
// see which writer holds each entry and follow every write:
//
//   <prefix>/space/rpc     requests: "list", "get KEY", "help". A reply starts with "[ok]"
//                          followed by JSON text (list: an array of entries; get: one entry)
//                          or is one "[fail] ..." line for a request or key it cannot answer.
//   <prefix>/space/events  while at least one reader is connected, a bottle every 50 ms with
//                          the number of events dropped so far, then one JSON line per write
//                          (accepted or refused) since the previous bottle. With no reader the
//                          Space records nothing.
//
// A port that could not be opened is tried again every 2 s, and both are opened again (which
// registers them) once the name server was started again.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Port.h>

#include "core/agentspace.h"
#include "core/registration_watch.h"

/// The reply to one request on the rpc port (see the top of this file).
yarp::os::Bottle space_request_reply(Space& space, const yarp::os::Bottle& request);

/// Opens both ports under `prefix` and serves them on two threads of its own until destroyed.
class SpacePorts {
public:
    /// Needs the YARP network. A port that cannot be opened is reported with one line on
    /// standard error; the program runs on without it and tries again every 2 s. With
    /// `name_server` (may be null) both ports are opened again after the name server was
    /// started again.
    SpacePorts(Space& space, const std::string& prefix,
               std::shared_ptr<const RegistrationWatch> name_server = nullptr);
    /// Closes the ports and joins the threads; the Space stops recording events.
    ~SpacePorts();

    SpacePorts(const SpacePorts&) = delete;
    SpacePorts& operator=(const SpacePorts&) = delete;

private:
    static constexpr std::chrono::seconds kRetrySpacing{2};

    void answer_requests();
    void stream_events();
    void follow(bool on);
    /// Events thread: opens the ports again when the last open failed or the name server was
    /// started again since.
    void keep_registered();
    void open_rpc();
    void stop_requests();
    void open_events();

    Space& space;
    const std::string rpc_name, events_name;
    std::shared_ptr<const RegistrationWatch> name_server;
    // The rpc port is replaced, not reopened, when it is opened again: its reader was
    // interrupted, and a fresh port starts without that on both YARPs.
    std::unique_ptr<yarp::os::Port> rpc;
    yarp::os::BufferedPort<yarp::os::Bottle> events;
    // Events thread only (and the constructor and destructor, with no thread running).
    bool rpc_open = false;
    bool events_open = false;
    bool following = false;
    bool rpc_refusal_said = false;
    bool events_refusal_said = false;
    std::uint64_t registered_in = 0;   // the watch's generation at the last opens
    std::chrono::steady_clock::time_point last_attempt;

    std::mutex mutex;  // guards stopping and requests_stopping
    std::condition_variable stop_asked;
    bool stopping = false;
    bool requests_stopping = false;

    std::thread requests;
    std::thread streamer;
};
