// Helper process for the port suites: plays the other side of a connection.
//   hold <port>...                       open plain ports and wait to be killed
//   image-writer <port> <w> <h> <count>  wait for a reader, send <count> numbered images
//                                        (strict), then wait to be killed
//   vector-writer <port>                 send an increasing counter every 10 ms forever
//   echo-server <port> [<descriptors>]   answer each request with "echo" + the request;
//                                        with at most <descriptors> open files
//   silent-server <port>                 open a port and never read from it
//   board-server <name> <axes>           serve a FakeBoard under <name>
//   connect <src> <dst>                  connect as a third process; exit 0 on success
#include "port_test_support.h"

#include "sim/serve/board_device.h"
#include "support/fake_board.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace yarp::os;

namespace {

[[noreturn]] void waitToBeKilled()
{
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        ::pause();
    }
}

int usage()
{
    std::fprintf(stderr, "usage: ports_test_helper hold|image-writer|vector-writer|echo-server|"
                         "silent-server|board-server|connect ...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    Network network;
    if (argc < 3) {
        return usage();
    }
    const std::string mode = argv[1];
    const std::string name = argv[2];
    if (mode == "hold") {
        std::vector<std::unique_ptr<Port>> ports;
        for (int i = 2; i < argc; ++i) {
            ports.push_back(std::make_unique<Port>());
            if (!ports.back()->open(argv[i])) {
                return 1;
            }
        }
        waitToBeKilled();
    }
    if (mode == "image-writer" && argc == 6) {
        BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> port;
        if (!port.open(name)) {
            return 1;
        }
        const int w = std::atoi(argv[3]);
        const int h = std::atoi(argv[4]);
        const int count = std::atoi(argv[5]);
        if (!ports_test::poll_until([&] { return port.getOutputCount() > 0; })) {
            return 1;
        }
        for (int i = 0; i < count; ++i) {
            auto& image = port.prepare();
            image.resize(static_cast<std::size_t>(w), static_cast<std::size_t>(h));
            ac_test::paint_frame(image, i);
            port.writeStrict();
        }
        port.waitForWrite();
        waitToBeKilled();
    }
    if (mode == "vector-writer") {
        BufferedPort<yarp::sig::Vector> port;
        if (!port.open(name)) {
            return 1;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        for (double i = 0;; i += 1) {
            auto& v = port.prepare();
            v.resize(1);
            v[0] = i;
            port.write();
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the stream's rate
        }
    }
    if (mode == "echo-server") {
        if (argc == 4) {
            rlimit limit{};
            ::getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = static_cast<rlim_t>(std::atoi(argv[3]));
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
                return 1;
            }
        }
        Port port;
        if (!port.open(name)) {
            return 1;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        Bottle request;
        while (port.read(request, true)) {
            Bottle answer;
            answer.addString("echo");
            answer.append(request);
            port.reply(answer);
        }
        return 0;
    }
    if (mode == "silent-server") {
        Port port;
        if (!port.open(name)) {
            return 1;
        }
        waitToBeKilled();
    }
    if (mode == "board-server" && argc == 4) {
        ac_test::FakeBoard board(std::atoi(argv[3]));
        sim::BoardServer server;
        if (!server.open(name, board)) {
            return 1;
        }
        waitToBeKilled();
    }
    if (mode == "connect" && argc == 4) {
        return NetworkBase::connect(argv[2], argv[3]) ? 0 : 1;
    }
    return usage();
}
