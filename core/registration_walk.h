#pragma once
// Registering a canary port with a name server that was started again while other ports are
// still open. Header only, and free of YARP (the port type is the caller's), so that every
// program with a canary, robot_sim among them, walks the same way.
//
// A name server started again hands out numbers from the start of its range, and some are
// still held by ports opened before (in this and other programs): an open given one fails
// ("address conflict") and uses it up. The server gives a name the number it had before
// whenever that number is free in its own records, so a name that met a number in use is
// given it again at every try, for as long as its holder lives. The walk therefore opens the
// canary under a fresh name per attempt until `clear_run` opens in a row succeed: every port
// registered after that gets a number nobody holds. A server that is down refuses every
// attempt; so may a long run of numbers in use, which is why the walk stops after
// kDownRun refusals in a row and the caller walks on at its next check.
//
// A refused name may stay registered with the number of another program's live port, which
// then answers for it: the canary is only ever asked about the name it is open under.
#include <string>

namespace registration_walk {

constexpr int kClearRun = 10;
constexpr int kDownRun = 8;
constexpr int kMostAttempts = 128;

/// Opens `port` under `base` + "/N" for N = `renamed` + 1, + 2, ... (closing it before each
/// attempt) until `clear_run` opens in a row succeed; `current` is then the name it is open
/// under. True when the run was reached.
template <class PortType>
bool walk(PortType& port, const std::string& base, unsigned& renamed, std::string& current,
          int clear_run = kClearRun)
{
    int opened = 0;
    int refused = 0;
    for (int attempt = 0; attempt < kMostAttempts && opened < clear_run && refused < kDownRun; ++attempt) {
        const std::string name = base + "/" + std::to_string(++renamed);
        port.close();
        if (port.open(name)) {
            ++opened;
            refused = 0;
            current = name;
        } else {
            opened = 0;
            ++refused;
        }
    }
    return opened >= clear_run;
}

}  // namespace registration_walk
