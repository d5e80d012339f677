#include "app/space_ports.h"

#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

yarp::os::Bottle fail(const std::string& why) {
    yarp::os::Bottle reply;
    reply.addString("[fail] " + why);
    return reply;
}

yarp::os::Bottle ok(const std::string& json) {
    yarp::os::Bottle reply;
    reply.addString("[ok]");
    reply.addString(json);
    return reply;
}

const char* const kRequests = "list, get KEY, help";

/// One line per port and refusal, not one per attempt.
void say_refused(const std::string& port, bool& said) {
    if (said) return;
    said = true;
    std::fprintf(stderr, "Space inspection: cannot open port %s; the inspector will not see this program "
                         "until it opens (tried again every 2 s)\n",
                 port.c_str());
}

}  // namespace

yarp::os::Bottle space_request_reply(Space& space, const yarp::os::Bottle& request) {
    const yarp::os::Value& word = request.get(0);
    if (request.size() == 0 || !word.isString()) {
        return fail("a request is a word: " + std::string(kRequests));
    }
    const std::string verb = word.asString();
    if (verb == "help") {
        yarp::os::Bottle reply;
        reply.addString("[ok]");
        reply.addString("list: every entry of the Space as a JSON array");
        reply.addString("get KEY: the entry under KEY as a JSON object");
        reply.addString("help: this text");
        reply.addString("entry fields: key type value priority valid_ms (null: never lapses) "
                        "lapsed writer written writes refused watchers");
        return reply;
    }
    if (verb == "list") {
        if (request.size() != 1) return fail("list takes no argument");
        std::string json = "[";
        bool first = true;
        for (const SpaceEntry& e : space.entries()) {
            if (!first) json += ',';
            first = false;
            json += e.json();
        }
        return ok(json + "]");
    }
    if (verb == "get") {
        if (request.size() != 2 || !request.get(1).isString()) {
            return fail("get needs one key: get KEY");
        }
        const std::string key = request.get(1).asString();
        SpaceEntry e;
        if (!space.entry(key, &e)) return fail("no entry \"" + key + "\" in the Space");
        return ok(e.json());
    }
    std::string shown = verb.substr(0, 40);
    if (shown.size() < verb.size()) shown += "...";
    return fail("unknown request \"" + shown + "\"; requests: " + kRequests);
}

SpacePorts::SpacePorts(Space& s, const std::string& prefix,
                       std::shared_ptr<const RegistrationWatch> watch)
    : space(s), rpc_name(prefix + "/space/rpc"), events_name(prefix + "/space/events"),
      name_server(std::move(watch)) {
    registered_in = name_server ? name_server->generation() : 0;
    last_attempt = std::chrono::steady_clock::now();
    open_rpc();
    open_events();
    streamer = std::thread([this] { stream_events(); });
}

SpacePorts::~SpacePorts() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    stop_asked.notify_all();
    // The events thread first: it is the one that replaces the rpc port and its thread.
    if (streamer.joinable()) streamer.join();
    stop_requests();
    follow(false);
    rpc->close();
    events.close();
}

void SpacePorts::open_rpc() {
    rpc = std::make_unique<yarp::os::Port>();
    rpc_open = rpc->open(rpc_name);
    if (!rpc_open) {
        say_refused(rpc_name, rpc_refusal_said);
        return;
    }
    rpc_refusal_said = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests_stopping = false;
    }
    requests = std::thread([this] { answer_requests(); });
}

void SpacePorts::stop_requests() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests_stopping = true;
    }
    rpc->interrupt();
    if (requests.joinable()) requests.join();
}

void SpacePorts::open_events() {
    events_open = events.open(events_name);
    if (!events_open) {
        say_refused(events_name, events_refusal_said);
        return;
    }
    events_refusal_said = false;
}

void SpacePorts::keep_registered() {
    const std::uint64_t generation = name_server ? name_server->generation() : 0;
    const bool restarted = generation != registered_in;
    if (!restarted && rpc_open && events_open) return;
    const auto now = std::chrono::steady_clock::now();
    if (!restarted && now - last_attempt < kRetrySpacing) return;
    last_attempt = now;
    registered_in = generation;
    const bool were_open = rpc_open && events_open;
    if (restarted || !rpc_open) {
        stop_requests();
        rpc->close();
        open_rpc();
    }
    if (restarted || !events_open) {
        follow(false);
        events.close();
        open_events();
    }
    if (!rpc_open || !events_open) return;   // said on standard error; tried again in 2 s
    if (restarted) {
        std::printf("Space inspection: the name server was restarted; registered %s and %s again\n",
                    rpc_name.c_str(), events_name.c_str());
    } else if (!were_open) {
        std::printf("Space inspection: opened %s and %s\n", rpc_name.c_str(), events_name.c_str());
    }
    std::fflush(stdout);
}

void SpacePorts::answer_requests() {
    for (;;) {
        yarp::os::Bottle request;
        const bool got = rpc->read(request, true);
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping || requests_stopping) return;
        }
        if (!got) continue;  // a message that did not decode, or a peer that went away
        yarp::os::Bottle reply = space_request_reply(space, request);
        rpc->reply(reply);
    }
}

void SpacePorts::follow(bool on) {
    if (on == following) return;
    following = on;
    space.capture_events(on);
}

void SpacePorts::stream_events() {
    std::uint64_t dropped_sent = 0;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        // Polls the connection count: the ports tell nobody when a reader comes or goes.
        stop_asked.wait_for(lock, std::chrono::milliseconds(50), [this] { return stopping; });
        if (stopping) return;
        lock.unlock();
        keep_registered();
        follow(events_open && events.getOutputCount() > 0);
        if (following) {
            std::vector<std::string> lines;
            space.event_buffer().drain([&](const SpaceEvent& e) { lines.push_back(e.json()); });
            const std::uint64_t dropped = space.event_buffer().dropped();
            if (!lines.empty() || dropped != dropped_sent) {
                yarp::os::Bottle& out = events.prepare();
                out.clear();
                out.addInt64(static_cast<std::int64_t>(dropped));
                for (const std::string& line : lines) out.addString(line);
                events.writeStrict();
                dropped_sent = dropped;
            }
        }
        lock.lock();
    }
}
