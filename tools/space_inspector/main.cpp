// space_inspector: what the controller's Space holds and why: every entry with its writer in
// force, priority, validity left and refused writes, live in a window, once as a table or
// JSON, recorded as an event trace, or a recorded trace drawn as a picture.
#include <QApplication>
#include <QTimer>

#include <yarp/os/Network.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "entry_table.h"
#include "inspector_window.h"
#include "plot_pane.h"
#include "space_client.h"
#include "trace.h"

namespace {

void usage() {
    std::printf(
        "Usage: space_inspector [--controller PREFIX] [--name PREFIX] [--keys K1,K2,...]\n"
        "       space_inspector --once [--json]\n"
        "       space_inspector --record FILE [--seconds N]\n"
        "       space_inspector --plot FILE --out PICTURE.png [--keys K1,K2,...]\n"
        "\n"
        "Shows the Space of a running agent_controller (or agent_controller_basic): every\n"
        "entry with its type, value, the writer whose value is in force, its priority, the\n"
        "validity left and the accepted and refused writes of each writer, refreshed five\n"
        "times a second, over plots of the last 30 s and the writer holding head_vel.\n"
        "\n"
        "Options:\n"
        "  --once             print one snapshot as an aligned table and exit\n"
        "  --json             with --once: print it as a JSON array instead\n"
        "  --record FILE      write every Space write as a JSON line (t, key, writer,\n"
        "                     priority, validity_ms, accepted, value) until SIGINT/SIGTERM\n"
        "  --seconds N        with --record: stop after N seconds\n"
        "  --plot FILE        draw a recorded trace (the window's plot) ...\n"
        "  --out PICTURE.png  ... into this picture, and exit\n"
        "  --keys K1,K2,...   entries to plot (default head_vel,head_enc,ballPos)\n"
        "  --controller P     the controller's port prefix (default: /agent_controller, else\n"
        "                     /agent_controller_basic)\n"
        "  --name PREFIX      prefix of the inspector's own ports (default /space_inspector)\n"
        "  --screenshot FILE  window: save a picture of it after --after S seconds (default\n"
        "                     3) and exit\n"
        "  -h, --help         print this text and exit\n"
        "\n"
        "Exit status: 0; 1 when no controller answers or a file cannot be used; 2 on bad\n"
        "options.\n");
}

struct Options {
    bool once = false, json = false;
    std::string record, plot, out, controller, name = "/space_inspector";
    double seconds = 0;
    std::string screenshot;
    double after = 3;
    QStringList keys{"head_vel", "head_enc", "ballPos"};
};

int bad_option(const std::string& why) {
    std::fprintf(stderr, "space_inspector: %s (see --help)\n", why.c_str());
    return 2;
}

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

volatile std::sig_atomic_t quit_asked = 0;
void on_quit(int) { quit_asked = 1; }

int print_once(SpaceClient& client, bool json) {
    std::string reply, error;
    if (!client.ask("list", &reply, &error)) {
        std::fprintf(stderr, "space_inspector: %s\n", error.c_str());
        return 1;
    }
    if (json) {
        std::printf("%s\n", reply.c_str());
        return 0;
    }
    std::vector<InspectedEntry> entries;
    QString parse_error;
    if (!parse_entries(QByteArray::fromStdString(reply), &entries, &parse_error)) {
        std::fprintf(stderr, "space_inspector: %s\n", parse_error.toStdString().c_str());
        return 1;
    }
    std::printf("%s", entries_table(entries).toStdString().c_str());
    return 0;
}

int record(const Options& o, const std::string& controller) {
    TraceRecorder recorder(o.name + "/events");
    std::string error;
    if (!recorder.start(controller, o.record, &error)) {
        std::fprintf(stderr, "space_inspector: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, on_quit);
    std::signal(SIGTERM, on_quit);
    const double end = o.seconds > 0 ? wall_seconds() + o.seconds : 0;
    // Waits for the duration or a signal: nothing to synchronise with, so a coarse poll.
    while (!quit_asked && (end == 0 || wall_seconds() < end)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::uint64_t dropped = recorder.dropped();
    const std::uint64_t events = recorder.stop();
    std::printf("space_inspector: %llu events written to %s", static_cast<unsigned long long>(events),
                o.record.c_str());
    if (dropped > 0) std::printf(" (%llu dropped by the controller)", static_cast<unsigned long long>(dropped));
    std::printf("\n");
    return 0;
}

int plot_file(const Options& o) {
    Trace trace;
    QString error;
    if (!trace.load(QString::fromStdString(o.plot), &error)) {
        std::fprintf(stderr, "space_inspector: %s\n", error.toStdString().c_str());
        return 1;
    }
    PlotPane pane(o.keys, "head_vel");
    pane.resize(1200, 900);
    pane.show_trace(trace, trace.first(), trace.last());
    if (!pane.grab().save(QString::fromStdString(o.out))) {
        std::fprintf(stderr, "space_inspector: cannot write %s\n", o.out.c_str());
        return 1;
    }
    std::printf("space_inspector: %s drawn from %s (%.1f s)\n", o.out.c_str(), o.plot.c_str(),
                trace.last() - trace.first());
    return 0;
}

/// Asks for the entries five times a second on a thread of its own, so that a controller
/// that is slow to answer never freezes the window.
class Poller {
public:
    Poller(SpaceClient& c) : client(c), thread([this] { run(); }) {}
    ~Poller() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }
    /// The newest reply (empty when none came since the last call) and the last error.
    bool take(std::string* json, std::string* error) {
        std::lock_guard<std::mutex> lock(mutex);
        *error = last_error;
        if (latest.empty()) return false;
        json->swap(latest);
        latest.clear();
        return true;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            lock.unlock();
            std::string json, error;
            const bool ok = client.ask("list", &json, &error);
            lock.lock();
            if (ok) {
                latest = std::move(json);
                last_error.clear();
            } else {
                last_error = error;
            }
            wake.wait_for(lock, std::chrono::milliseconds(200), [this] { return stopping; });
        }
    }
    SpaceClient& client;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::string latest, last_error;
    std::thread thread;
};

int run_window(const Options& o, SpaceClient& client) {
    InspectorWindow window(QString::fromStdString(client.controller()), o.keys);
    std::mutex lines_mutex;
    std::vector<QByteArray> lines;
    TraceRecorder feed(o.name + "/events");
    std::string error;
    if (!feed.start_feed(client.controller(), [&](const std::string& line) {
            std::lock_guard<std::mutex> lock(lines_mutex);
            if (lines.size() < 200000) lines.push_back(QByteArray::fromStdString(line));
        }, &error)) {
        window.set_status(QString::fromStdString(error + ": no plots"));
    }
    Poller poller(client);
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, [&] {
        const double now = wall_seconds();
        std::string json, problem;
        if (poller.take(&json, &problem)) {
            std::vector<InspectedEntry> entries;
            QString parse_error;
            if (parse_entries(QByteArray::fromStdString(json), &entries, &parse_error)) {
                window.show_entries(entries, now);
            }
        }
        std::vector<QByteArray> arrived;
        {
            std::lock_guard<std::mutex> lock(lines_mutex);
            arrived.swap(lines);
        }
        window.add_events(arrived);
        window.refresh_plot(now);
        if (!problem.empty()) {
            window.set_status(QString::fromStdString(problem));
        } else if (feed.dropped() > 0) {
            window.set_status(QString("%1 events dropped by the controller").arg(feed.dropped()));
        }
    });
    refresh.start(200);
    window.show();
    QTimer picture;
    if (!o.screenshot.empty()) {
        picture.setSingleShot(true);
        QObject::connect(&picture, &QTimer::timeout, [&] {
            if (!window.grab().save(QString::fromStdString(o.screenshot))) {
                std::fprintf(stderr, "space_inspector: cannot write %s\n", o.screenshot.c_str());
                qApp->exit(1);
                return;
            }
            qApp->quit();
        });
        picture.start(static_cast<int>(o.after * 1000));
    }
    const int status = qApp->exec();
    feed.stop();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string* into) {
            if (i + 1 >= argc) return false;
            *into = argv[++i];
            return true;
        };
        std::string text;
        if (a == "-h" || a == "--help") {
            usage();
            return 0;
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--record") {
            if (!value(&o.record)) return bad_option("--record needs a file");
        } else if (a == "--seconds") {
            if (!value(&text)) return bad_option("--seconds needs a number");
            char* end = nullptr;
            o.seconds = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(o.seconds > 0)) {
                return bad_option("--seconds needs a number greater than 0");
            }
        } else if (a == "--screenshot") {
            if (!value(&o.screenshot)) return bad_option("--screenshot needs a file");
        } else if (a == "--after") {
            if (!value(&text)) return bad_option("--after needs a number");
            char* end = nullptr;
            o.after = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !(o.after >= 0)) {
                return bad_option("--after needs a number of seconds");
            }
        } else if (a == "--plot") {
            if (!value(&o.plot)) return bad_option("--plot needs a file");
        } else if (a == "--out") {
            if (!value(&o.out)) return bad_option("--out needs a file");
        } else if (a == "--keys") {
            if (!value(&text)) return bad_option("--keys needs a list");
            o.keys = QString::fromStdString(text).split(',', Qt::SkipEmptyParts);
            if (o.keys.isEmpty()) return bad_option("--keys needs at least one key");
        } else if (a == "--controller") {
            if (!value(&o.controller) || o.controller.empty() || o.controller[0] != '/') {
                return bad_option("--controller needs a port prefix such as /agent_controller");
            }
        } else if (a == "--name") {
            if (!value(&o.name) || o.name.empty() || o.name[0] != '/') {
                return bad_option("--name needs a port prefix such as /space_inspector");
            }
        } else {
            return bad_option("unknown argument '" + a + "'");
        }
    }
    if (o.json && !o.once) return bad_option("--json goes with --once");
    if (!o.plot.empty() != !o.out.empty()) return bad_option("--plot and --out go together");
    if (o.seconds > 0 && o.record.empty()) return bad_option("--seconds goes with --record");
    const int modes = int(o.once) + int(!o.record.empty()) + int(!o.plot.empty());
    if (modes > 1) return bad_option("choose one of --once, --record and --plot");

    if (!o.plot.empty()) {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) {
            setenv("QT_QPA_PLATFORM", "offscreen", 0);  // a picture needs no display
        }
        QApplication app(argc, argv);
        return plot_file(o);
    }

    yarp::os::Network yarp;
    SpaceClient client(o.name);
    std::string error;
    if (!client.connect(o.controller, &error)) {
        std::fprintf(stderr, "space_inspector: %s\n", error.c_str());
        return 1;
    }
    if (o.once) return print_once(client, o.json);
    if (!o.record.empty()) return record(o, client.controller());
    QApplication app(argc, argv);
    return run_window(o, client);
}
