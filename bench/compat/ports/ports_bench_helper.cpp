// The other process of the port benchmarks.
//   images <port> <w> <h> <fps>   stream RGB images stamped with the send time (monotonic
//                                 clock, first 8 bytes); fps 0 = as fast as the reader takes
//                                 them (strict writes), otherwise paced, non-strict
//   echo <port>                   answer each request with the request
//   board <name> <axes>           serve a FakeBoard
#include "sim/serve/board_device.h"
#include "support/fake_board.h"

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/sig/Image.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

using namespace yarp::os;

int main(int argc, char** argv)
{
    Network network;
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "images" && argc == 6) {
        BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> port;
        if (!port.open(argv[2])) {
            return 1;
        }
        const auto w = static_cast<std::size_t>(std::atoi(argv[3]));
        const auto h = static_cast<std::size_t>(std::atoi(argv[4]));
        const int fps = std::atoi(argv[5]);
        for (std::uint64_t frame = 0;; ++frame) {
            auto& image = port.prepare();
            image.resize(w, h);
            image.getRawImage()[8] = static_cast<unsigned char>(frame);
            const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
            std::memcpy(image.getRawImage(), &now, sizeof now);
            if (fps > 0) {
                port.write();
                std::this_thread::sleep_for(std::chrono::microseconds(1000000 / fps)); // the camera's rate
            } else if (port.getOutputCount() > 0) {
                port.writeStrict();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5)); // nobody listens yet
            }
        }
    }
    if (mode == "echo") {
        Port port;
        if (!port.open(argv[2])) {
            return 1;
        }
        Bottle request;
        while (port.read(request, true)) {
            port.reply(request);
        }
        return 0;
    }
    if (mode == "board" && argc == 4) {
        ac_test::FakeBoard board(std::atoi(argv[3]));
        sim::BoardServer server;
        if (!server.open(argv[2], board)) {
            return 1;
        }
        for (;;) {
            ::pause();
        }
    }
    return 2;
}
