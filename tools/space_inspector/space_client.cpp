#include "space_client.h"

#include <sys/stat.h>

#include <yarp/os/Network.h>

const char* const kControllerPrefixes[2] = {"/agent_controller", "/agent_controller_basic"};

SpaceClient::SpaceClient(std::string n) : name(std::move(n)) {}

SpaceClient::~SpaceClient() {
    if (open) port.close();
}

bool SpaceClient::connect(const std::string& controller, std::string* error) {
    if (!open) {
        open = port.open(name + "/rpc");
        if (!open) {
            *error = "cannot open the port " + name + "/rpc (another inspector with the same "
                     "--name?)";
            return false;
        }
        port.setTimeout(3.0f);  // a controller that hangs never freezes the inspector
    }
    for (const char* candidate : kControllerPrefixes) {
        const std::string prefix = controller.empty() ? std::string(candidate) : controller;
        if (yarp::os::NetworkBase::connect(name + "/rpc", prefix + "/space/rpc")) {
            connected = prefix;
            return true;
        }
        if (!controller.empty()) break;
    }
    *error = controller.empty()
                 ? "no controller answers: neither /agent_controller/space/rpc nor "
                   "/agent_controller_basic/space/rpc exists (is the controller running, on "
                   "this YARP network?)"
                 : "no controller answers at " + controller + "/space/rpc";
    return false;
}

bool SpaceClient::ask(const std::string& request, std::string* json, std::string* error) {
    yarp::os::Bottle message(request);
    yarp::os::Bottle reply;
    if (!port.write(message, reply)) {
        *error = "no reply from " + connected + "/space/rpc";
        return false;
    }
    if (reply.get(0).asString() != "[ok]") {
        *error = reply.size() > 0 ? reply.get(0).asString() : "empty reply";
        return false;
    }
    *json = reply.get(1).asString();
    return true;
}

TraceRecorder::TraceRecorder(std::string port) : port_name(std::move(port)) {}

TraceRecorder::~TraceRecorder() { stop(); }

bool TraceRecorder::start(const std::string& controller, const std::string& file,
                          std::string* error) {
    stop();
    std::FILE* f = std::fopen(file.c_str(), "w");
    if (f == nullptr) {
        *error = "cannot write " + file;
        return false;
    }
    const bool started = start_feed(controller, [f](const std::string& line) {
        std::fputs(line.c_str(), f);
        std::fputc('\n', f);
        std::fflush(f);
    }, error);
    if (started) {
        out = f;
    } else {
        std::fclose(f);
    }
    return started;
}

bool TraceRecorder::start_feed(const std::string& controller,
                               std::function<void(const std::string&)> on_line,
                               std::string* error) {
    if (reader.joinable()) stop();
    sink = std::move(on_line);
    port.setStrict();  // every batch of events, none skipped
    if (!open && !(open = port.open(port_name))) {
        *error = "cannot open the port " + port_name;
    } else if (!yarp::os::NetworkBase::connect(controller + "/space/events", port_name)) {
        *error = "no controller streams events at " + controller + "/space/events";
    } else {
        stopping = false;
        written = 0;
        dropped_seen = 0;
        dropped_at_start = -1;
        reader = std::thread([this] { run(); });
        return true;
    }
    return false;
}

std::uint64_t TraceRecorder::stop() {
    if (reader.joinable()) {
        stopping = true;
        port.interrupt();
        reader.join();
        port.resume();
    }
    if (open) {
        port.close();
        open = false;
    }
    if (out != nullptr) {
        std::fclose(out);
        out = nullptr;
    }
    return written.load();
}

void TraceRecorder::run() {
    while (!stopping.load()) {
        yarp::os::Bottle* batch = port.read(true);
        if (batch == nullptr) break;  // interrupted or closed
        const std::int64_t dropped = batch->get(0).asInt64();
        if (dropped_at_start < 0) dropped_at_start = dropped;
        dropped_seen = static_cast<std::uint64_t>(dropped - dropped_at_start);
        for (size_t i = 1; i < batch->size(); ++i) {
            sink(batch->get(i).asString());
            ++written;
        }
    }
}

StopTraces::StopTraces(std::string d) : dir(std::move(d)) {
    if (!dir.empty()) ::mkdir(dir.c_str(), 0755);  // an existing folder is fine
}

void StopTraces::begin(std::size_t number, const std::string& name) {
    if (dir.empty()) return;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02zu-", number);
    file = dir + "/" + prefix + name + ".jsonl";
    std::string controller = kControllerPrefixes[0];
    for (const char* candidate : kControllerPrefixes) {
        if (yarp::os::NetworkBase::exists(std::string(candidate) + "/space/events")) {
            controller = candidate;
            break;
        }
    }
    std::string error;
    running = recorder.start(controller, file, &error);
    if (!running) std::printf("  no trace: %s\n", error.c_str());
}

std::string StopTraces::end() {
    if (!running) return std::string();
    running = false;
    const std::uint64_t events = recorder.stop();
    return "trace " + file + " (" + std::to_string(events) + " events)";
}
