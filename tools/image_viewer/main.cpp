// image_viewer: shows an RGB image stream (for example the simulator's left camera) in a
// window, scaled, with the received and displayed frame rates in the status bar.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QSocketNotifier>

#include <yarp/os/Network.h>

#include "image_viewer.h"

namespace {

const char* const usageText =
    "Usage: image_viewer [options] PORT\n"
    "\n"
    "Shows the RGB image stream of PORT (for example /icubSim/cam/left) in a window, scaled\n"
    "to the window with its aspect ratio kept. The status bar shows the image size and the\n"
    "frame rates received from the stream and displayed. The viewer opens a port of its own\n"
    "and connects PORT to it; when PORT is not there yet, or goes away, it keeps trying once a\n"
    "second. Ctrl-C, SIGTERM or closing the window ends it.\n"
    "\n"
    "Options:\n"
    "  --name LOCAL      name of the viewer's own port (default /image_viewer + PORT)\n"
    "  --exit-after N    quit after displaying N frames, printing the frame rates\n"
    "  -h, --help        this text\n"
    "Qt's own options (for example -platform offscreen) are accepted too.\n"
    "\n"
    "Environment:\n"
    "  AGENT_CONTROLLER_PORTS   port registry directory of the bundled YARP layer\n";

int signalFds[2] = {-1, -1};

extern "C" void onQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalFds[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string source;
    std::string local;
    unsigned long long exitAfter = 0;
    int qtArgc = 1;
    std::vector<char*> qtArgv{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (a == "--name" && i + 1 < argc) {
            local = argv[++i];
        } else if (a == "--exit-after" && i + 1 < argc) {
            char* end = nullptr;
            exitAfter = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || exitAfter == 0) {
                std::fprintf(stderr, "image_viewer: --exit-after needs a positive number of frames\n");
                return 2;
            }
        } else if (a == "--name" || a == "--exit-after") {
            std::fprintf(stderr, "image_viewer: %s needs a value\nTry 'image_viewer --help'.\n", a.c_str());
            return 2;
        } else if (a.size() > 1 && a[0] == '/' && source.empty()) {
            source = a;
        } else {
            qtArgv.push_back(argv[i]);  // Qt's options, e.g. -platform offscreen
            ++qtArgc;
        }
    }
    if (source.empty()) {
        std::fprintf(stderr, "image_viewer: missing the port of an image stream (e.g. /icubSim/cam/left)\n"
                             "Try 'image_viewer --help'.\n");
        return 2;
    }
    if (local.empty()) {
        local = "/image_viewer" + source;
    }
    qtArgv.push_back(nullptr);

    yarp::os::Network network;
    QApplication app(qtArgc, qtArgv.data());

    // SIGINT and SIGTERM quit the event loop, so that the port is closed on the way out.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalFds) == 0) {
        struct sigaction action {};
        action.sa_handler = onQuitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    std::unique_ptr<QSocketNotifier> notifier;
    if (signalFds[0] >= 0) {
        notifier = std::make_unique<QSocketNotifier>(signalFds[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [] { QApplication::quit(); });
    }

    int status = 1;
    {
        ViewerWindow window(source, local, exitAfter);
        if (window.start()) {
            window.show();
            status = app.exec();
        }
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status;
}
