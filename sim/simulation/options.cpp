#include "sim/simulation/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sim {

namespace {

bool parseDouble(const std::string& text, double* out)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) {
        return false;
    }
    *out = v;
    return true;
}

bool parseSize(const std::string& text, std::size_t lo, std::size_t hi, std::size_t* out)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 6) {
        return false;
    }
    const std::size_t v = std::stoul(text);
    if (v < lo || v > hi) {
        return false;
    }
    *out = v;
    return true;
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args)
{
    ParsedOptions parsed;
    Options& o = parsed.options;
    auto fail = [&](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--width" || a == "--height") {
            std::size_t v = 0;
            if (!hasValue || !parseSize(args[i + 1], 16, 4096, &v)) {
                return fail(a + " needs a whole number of pixels from 16 to 4096");
            }
            (a == "--width" ? o.width : o.height) = v;
            ++i;
        } else if (a == "--fps") {
            double v = 0.0;
            if (!hasValue || !parseDouble(args[i + 1], &v) || v <= 0.0 || v > 200.0) {
                return fail("--fps needs a frame rate above 0 and at most 200");
            }
            o.fps = v;
            ++i;
        } else if (a == "--ball") {
            double xyz[3];
            if (i + 3 >= args.size() || !parseDouble(args[i + 1], &xyz[0]) || !parseDouble(args[i + 2], &xyz[1])
                || !parseDouble(args[i + 3], &xyz[2])) {
                return fail("--ball needs three numbers X Y Z (metres)");
            }
            o.ball = Vec3{xyz[0], xyz[1], xyz[2]};
            i += 3;
        } else if (a == "--no-camera") {
            o.camera = false;
        } else if (a == "--no-gravity") {
            o.gravity = false;
        } else if (a == "--extra-objects") {
            o.extraObjects = true;
        } else if (a == "--quiet") {
            o.status = false;
        } else {
            return fail("unknown option '" + a + "' (see --help)");
        }
    }
    return parsed;
}

std::string usage(const std::string& program)
{
    return "Usage: " + program + " [options]\n"
           "\n"
           "A small kinematic stand-in for the iCub simulator. It serves, under /icubSim:\n"
           "  /icubSim/head              control board, 6 axes (pitch, roll, yaw, eye tilt,\n"
           "                             eye version, eye vergence), degrees\n"
           "  /icubSim/left_arm          control board, 16 axes\n"
           "  /icubSim/right_arm         control board, 16 axes\n"
           "  /icubSim/cam/left          stream of RGB images from the left eye\n"
           "  /icubSim/world             requests: world set ball X Y Z | world get ball |\n"
           "                             world get lhand | world get rhand\n"
           "  /icubSim/inertial          stream of 12 doubles at 100 Hz (orientation deg,\n"
           "                             acceleration m/s^2, angular rate deg/s, magnetic field)\n"
           "  /icubSim/skin/left_hand    stream of 192 taxel values at 100 Hz\n"
           "Every joint starts in position mode; commands of the other kind are ignored.\n"
           "\n"
           "Options:\n"
           "  --width N        camera image width in pixels (default 320, 16..4096)\n"
           "  --height N       camera image height in pixels (default 240, 16..4096); the\n"
           "                   focal length scales with the size, the field of view stays\n"
           "  --fps F          camera frame rate (default 30, at most 200)\n"
           "  --no-camera      do not render or publish camera images\n"
           "  --ball X Y Z     start with the ball at X Y Z (metres; default -0.15 0.554 0.35,\n"
           "                   on the table)\n"
           "  --no-gravity     a ball set in mid-air stays there instead of falling\n"
           "  --extra-objects  add a red and a green block beyond the table (the default\n"
           "                   world, like the real simulator's, has only table and ball)\n"
           "  --quiet          no status line\n"
           "  --help           this text\n"
           "\n"
           "World frame: x toward the robot's left, y up, z forward, origin on the floor\n"
           "below the robot. Once a second a status line shows the head joints, the ball\n"
           "and where the ball appears in the image. SIGINT or SIGTERM closes every port\n"
           "and exits with status 0.\n";
}

} // namespace sim
