#pragma once
// The port registry: a per-user directory where every open port has an entry.
//
// Entry of port P (key K derived from P's name):
//   K.lock  flock()ed by the process holding P for as long as P is open; holds its pid.
//           The kernel drops the lock when that process dies, so a leftover entry of a
//           killed process is recognised as stale and reclaimed by the next opener.
//   K.sock  the Unix-domain stream socket P listens on (data and admin connections).
//   K.name  only for hashed keys: the real port name, so that listing can show it.
// K is the name with every byte outside [A-Za-z0-9._-] written as %XX; when that is too long
// for a socket address it is "~" followed by a 64-bit hash of the name.
#include <string>
#include <vector>

namespace yarp::os::impl::registry {

/// Environment variable that selects the registry directory.
constexpr const char* directoryVariable = "AGENT_CONTROLLER_PORTS";

/// The registry directory, created with mode 0700 when missing. Empty (with `error` set)
/// when it cannot be used, e.g. it belongs to another user.
std::string directory(std::string* error = nullptr);

/// Port names start with '/' and hold no blanks or control characters.
bool validName(const std::string& name, std::string* why = nullptr);

/// The registry directory for a port called `name`; empty, with `error` set, when the name is
/// invalid or the directory cannot be used.
std::string directoryFor(const std::string& name, std::string& error);

/// File-name key of a port name (see the header comment).
std::string entryKey(const std::string& name);

/// Holds one registry entry while a port is open.
class Claim {
public:
    Claim() = default;
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    ~Claim() { release(); }

    /// Claims `name` and returns a listening socket bound to its entry, or -1 with a
    /// one-line reason in `error` (name held by a live port, registry unusable, ...).
    int acquire(const std::string& name, std::string& error);
    /// Removes the entry; the name is free again.
    void release();

private:
    int lockFd_ = -1;
    std::string dir_;
    std::string key_;
};

/// Connects to the socket of the port `name`: a blocking, close-on-exec stream socket,
/// or -1 with the reason in `error` (no such port, or only a stale entry).
int connectTo(const std::string& name, std::string& error);

/// Names of all entries that have a socket, live or stale; callers probe liveness.
std::vector<std::string> entryNames();

} // namespace yarp::os::impl::registry
