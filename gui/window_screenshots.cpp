// window_screenshots: renders each operator window as the controllers show it and saves it
// as a PNG, for the documentation. Runs without a display (-platform offscreen).
#include <cstdio>
#include <cstring>
#include <string>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStatusBar>

#include <yarp/os/Network.h>

#include "gui/armcontrolgui.h"
#include "gui/headcontrolgui.h"
#include "gui/worldgui.h"

namespace {

bool save(QWidget& window, const QDir& dir, const char* file) {
    window.show();
    QApplication::processEvents();
    const QString path = dir.filePath(file);
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "window_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    window.hide();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Usage: window_screenshots <directory> [Qt options]\n"
                    "Writes head-window.png, arm-window.png and world-window.png into "
                    "<directory>.\n");
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "Usage: window_screenshots <directory> [Qt options]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists()) {
        std::fprintf(stderr, "window_screenshots: no directory %s\n", argv[1]);
        return 2;
    }

    yarp::os::Network yarp;
    QApplication app(argc, argv);

    bool ok = true;
    HeadControlGui head;
    head.space_key = "head_joints";
    ok = save(head, dir, "head-window.png") && ok;

    ArmControlGui arm;
    arm.setName("Left Arm Controls:");
    arm.space_key = "la_joints";
    ok = save(arm, dir, "arm-window.png") && ok;

    WorldGui world;
    // Without a simulator the status bar says so; the picture shows the window at rest.
    world.statusBar()->clearMessage();
    ok = save(world, dir, "world-window.png") && ok;
    return ok ? 0 : 1;
}
