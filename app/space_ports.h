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
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Port.h>

#include "core/agentspace.h"

/// The reply to one request on the rpc port (see the top of this file).
yarp::os::Bottle space_request_reply(Space& space, const yarp::os::Bottle& request);

/// Opens both ports under `prefix` and serves them on two threads of its own until destroyed.
class SpacePorts {
public:
    /// Needs the YARP network. A port that cannot be opened is reported with one line on
    /// standard error; the program runs on without it.
    SpacePorts(Space& space, const std::string& prefix);
    /// Closes the ports and joins the threads; the Space stops recording events.
    ~SpacePorts();

    SpacePorts(const SpacePorts&) = delete;
    SpacePorts& operator=(const SpacePorts&) = delete;

private:
    void answer_requests();
    void stream_events();
    void follow(bool on);

    Space& space;
    yarp::os::Port rpc;
    yarp::os::BufferedPort<yarp::os::Bottle> events;
    bool rpc_open = false;
    bool events_open = false;
    bool following = false;  // events thread only

    std::mutex mutex;  // guards stopping
    std::condition_variable stop_asked;
    bool stopping = false;

    std::thread requests;
    std::thread streamer;
};
