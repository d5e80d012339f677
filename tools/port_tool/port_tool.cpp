// port_tool: look at and poke the ports of this host (bundled YARP layer) or of the YARP
// network (an installed YARP, through its name server).
#ifdef PORT_TOOL_BUNDLED_REGISTRY
#include <compat/port_registry.h>
#else
#include <yarp/os/Contact.h>
#include <yarp/os/Portable.h>
#include <yarp/os/Value.h>
#endif

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace yarp::os;

namespace {

const char* const usageText =
    "Usage: port_tool COMMAND [ARGS]\n"
    "Look at and poke the ports of this host.\n"
    "\n"
    "Commands:\n"
    "  list                           list the open ports with their connections\n"
    "  exists PORT                    exit status 0 when PORT is open\n"
    "  send [--timeout S] PORT WORDS  send WORDS as one bottle to PORT and print the reply\n"
    "                                 (default timeout 5 s; exit status 1 without a reply)\n"
    "  write PORT WORDS               stream WORDS as one bottle to PORT, no reply expected\n"
    "  read [--count N] PORT          connect PORT to a temporary port and print what it\n"
    "                                 streams: bottles as text, vectors as numbers, images\n"
    "                                 as one summary line; stops after N messages or Ctrl-C\n"
    "  connect SRC DST                ask SRC to send to DST\n"
    "  disconnect SRC DST             remove the connection from SRC to DST\n"
    "  -h, --help                     show this help\n"
    "\n"
#ifdef PORT_TOOL_BUNDLED_REGISTRY
    "Ports are registered in the directory named by AGENT_CONTROLLER_PORTS\n"
    "(default /tmp/agent-controller-ports-<uid>).\n";
#else
    "Ports are looked up with the YARP name server configured for this user\n"
    "(yarp conf, yarp namespace).\n";
#endif

int usageError(const std::string& message)
{
    std::fprintf(stderr, "port_tool: %s\nTry 'port_tool --help'.\n", message.c_str());
    return 2;
}

std::string joinWords(const std::vector<std::string>& words, std::size_t from)
{
    std::string text;
    for (std::size_t i = from; i < words.size(); ++i) {
        text += (i > from ? " " : "") + words[i];
    }
    return text;
}

std::string temporaryName(const char* role)
{
    return std::string("/port_tool/") + role + "/" + std::to_string(::getpid());
}

/// Decodes whatever arrives: an image, a vector or a bottle, tried in that order (each
/// carries its own tag, so at most one accepts a message).
class AnyMessage : public PortReader {
public:
#ifdef PORT_TOOL_BUNDLED_REGISTRY
    bool read(ConnectionReader& reader) override
    {
        ConnectionReader copy = reader;
        if (image.read(copy)) {
            kind = Kind::Image;
            return true;
        }
        copy = reader;
        if (vector.read(copy)) {
            kind = Kind::Vector;
            return true;
        }
        copy = reader;
        if (bottle.read(copy)) {
            kind = Kind::Bottle;
            return true;
        }
        kind = Kind::Unknown;
        size = reader.remaining();
        return true;
    }
#else
    // An installed YARP writes images and vectors in a bottle-compatible form: read a
    // bottle, then see whether it converts to an image or a vector.
    bool read(ConnectionReader& reader) override
    {
        if (!bottle.read(reader)) {
            kind = Kind::Unknown;
            size = reader.getSize();
            return true;
        }
        if (Portable::copyPortable(bottle, image) && image.width() > 0 && image.height() > 0) {
            kind = Kind::Image;
        } else if (Portable::copyPortable(bottle, vector)) {
            kind = Kind::Vector;
        } else {
            kind = Kind::Bottle;
        }
        return true;
    }
#endif

    std::string describe() const
    {
        switch (kind) {
        case Kind::Image: {
            const std::size_t pixels = image.width() * image.height();
            unsigned long long sum[3] = {0, 0, 0};
            for (std::size_t y = 0; y < image.height(); ++y) {
                for (std::size_t x = 0; x < image.width(); ++x) {
                    const auto& p = image.pixel(x, y);
                    sum[0] += p.r;
                    sum[1] += p.g;
                    sum[2] += p.b;
                }
            }
            char line[160];
            std::snprintf(line, sizeof line, "image %zux%zu rgb, mean colour (%.1f %.1f %.1f)", image.width(),
                          image.height(), pixels ? double(sum[0]) / pixels : 0.0,
                          pixels ? double(sum[1]) / pixels : 0.0, pixels ? double(sum[2]) / pixels : 0.0);
            return line;
        }
        case Kind::Vector:
            return "vector(" + std::to_string(vector.size()) + ") " + vector.toString();
        case Kind::Bottle:
            return bottle.toString();
        case Kind::Unknown:
            break;
        }
        return "unrecognised message of " + std::to_string(size) + " bytes";
    }

private:
    enum class Kind { Image, Vector, Bottle, Unknown };
    Kind kind = Kind::Unknown;
    yarp::sig::ImageOf<yarp::sig::PixelRgb> image;
    yarp::sig::Vector vector;
    Bottle bottle;
    std::size_t size = 0;
};

#ifdef PORT_TOOL_BUNDLED_REGISTRY
int listPorts()
{
    const auto ports = compat::listPorts();
    if (ports.empty()) {
        std::printf("no open ports in %s\n", compat::portRegistryDirectory().c_str());
    }
    for (const auto& p : ports) {
        std::printf("%s  (in %d, out %zu)", p.name.c_str(), p.inputs, p.outputs.size());
        for (const auto& o : p.outputs) {
            std::printf(" -> %s", o.c_str());
        }
        std::printf("\n");
    }
    return 0;
}
#else
/// The names the name server lists that answer (registrations of dead ports are skipped),
/// each with the ports it sends to, as its administrative interface reports them.
int listPorts()
{
    const std::string server = NetworkBase::getNameServerName();
    Bottle request("bot list");
    Bottle reply;
    if (!NetworkBase::write(server, request, reply)) {
        std::fprintf(stderr, "port_tool: the name server %s does not answer\n", server.c_str());
        return 1;
    }
    int shown = 0;
    for (std::size_t i = 1; i < reply.size(); ++i) {
        const Bottle* entry = reply.get(i).asList();
        const std::string name = entry ? entry->check("name", Value("")).asString() : "";
        if (name.empty() || name[0] != '/' || name == server || !NetworkBase::exists(name)) {
            continue;
        }
        const Contact contact = NetworkBase::queryName(name);
        Bottle askInputs("list in");
        Bottle askOutputs("list out");
        Bottle inputs;
        Bottle outputs;
        const bool known = NetworkBase::write(contact, askInputs, inputs, true, true, 2.0)
            && NetworkBase::write(contact, askOutputs, outputs, true, true, 2.0);
        std::printf("%s", name.c_str());
        if (known) {
            std::size_t inputCount = 0;   // not counting this very query ("admin")
            for (std::size_t k = 0; k < inputs.size(); ++k) {
                inputCount += inputs.get(k).asString() != "admin";
            }
            std::printf("  (in %zu, out %zu)", inputCount, outputs.size());
            for (std::size_t k = 0; k < outputs.size(); ++k) {
                std::printf(" -> %s", outputs.get(k).asString().c_str());
            }
        }
        std::printf("\n");
        ++shown;
    }
    if (shown == 0) {
        std::printf("no open ports registered with %s\n", server.c_str());
    }
    return 0;
}
#endif

int cmdSend(const std::vector<std::string>& args)
{
    float timeout = 5.0f;
    std::size_t i = 1;
    if (i < args.size() && args[i] == "--timeout") {
        if (i + 1 >= args.size()) {
            return usageError("--timeout needs a number of seconds");
        }
        char* end = nullptr;
        timeout = std::strtof(args[i + 1].c_str(), &end);
        if (end == args[i + 1].c_str() || *end != '\0' || !(timeout > 0)) {
            return usageError("--timeout needs a positive number of seconds, not '" + args[i + 1] + "'");
        }
        i += 2;
    }
    if (i + 1 >= args.size()) {
        return usageError("send needs a port and the words to send");
    }
    const std::string target = args[i];
    Port port;
    if (!port.open(temporaryName("send"))) {
        return 1;
    }
    // Before connecting: an installed YARP gives the timeout only to connections made later.
    port.setTimeout(timeout);
    if (!NetworkBase::connect(port.getName(), target, "", false)) {
        return 1;
    }
    Bottle request(joinWords(args, i + 1));
    Bottle reply;
    if (!port.write(request, reply)) {
        std::fprintf(stderr, "port_tool: no reply from %s\n", target.c_str());
        return 1;
    }
    std::printf("%s\n", reply.toString().c_str());
    return 0;
}

int cmdWrite(const std::vector<std::string>& args)
{
    if (args.size() < 3) {
        return usageError("write needs a port and the words to send");
    }
    Port port;
    if (!port.open(temporaryName("write"))) {
        return 1;
    }
    if (!NetworkBase::connect(port.getName(), args[1], "", false)) {
        return 1;
    }
    return port.write(Bottle(joinWords(args, 2))) ? 0 : 1;
}

int cmdRead(const std::vector<std::string>& args)
{
    long count = -1;
    std::size_t i = 1;
    if (i < args.size() && args[i] == "--count") {
        char* end = nullptr;
        count = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : 0;
        if (i + 1 >= args.size() || *end != '\0' || count <= 0) {
            return usageError("--count needs a positive number");
        }
        i += 2;
    }
    if (i + 1 != args.size()) {
        return usageError("read needs exactly one port");
    }
    const std::string source = args[i];

    // Ctrl-C and SIGTERM end the read loop cleanly, so the temporary port is unregistered.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Port port;
    if (!port.open(temporaryName("read"))) {
        return 1;
    }
    if (!NetworkBase::connect(source, port.getName(), "", false)) {
        return 1;
    }
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        port.interrupt();
    });
    AnyMessage message;
    for (long n = 0; count < 0 || n < count; ++n) {
        if (!port.read(message)) {
            break;
        }
        std::printf("%s\n", message.describe().c_str());
        std::fflush(stdout);
    }
    NetworkBase::disconnect(source, port.getName());
    port.close();
    // Wake the signal thread if no signal came.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Network network;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return usageError("missing command");
    }
    const std::string& command = args[0];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(usageText, stdout);
        return 0;
    }
    if (command == "list") {
        return args.size() == 1 ? listPorts() : usageError("list takes no arguments");
    }
    if (command == "exists") {
        if (args.size() != 2) {
            return usageError("exists needs one port");
        }
        const bool there = NetworkBase::exists(args[1]);
        std::printf("%s %s\n", args[1].c_str(), there ? "exists" : "does not exist");
        return there ? 0 : 1;
    }
    if (command == "send") {
        return cmdSend(args);
    }
    if (command == "write") {
        return cmdWrite(args);
    }
    if (command == "read") {
        return cmdRead(args);
    }
    if (command == "connect" || command == "disconnect") {
        if (args.size() != 3) {
            return usageError(command + " needs a source and a destination port");
        }
        const bool ok = command == "connect" ? NetworkBase::connect(args[1], args[2], "", false)
                                             : NetworkBase::disconnect(args[1], args[2], false);
        return ok ? 0 : 1;
    }
    return usageError("unknown command '" + command + "'");
}
