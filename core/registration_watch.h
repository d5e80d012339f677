#pragma once
// Notices that the name server was started again and no longer knows this program's ports.
//
// On an installed YARP the name server holds the only record of where each port listens. One
// that is killed and started again knows none of the ports still open in running programs:
// their existing connections keep working (data flows from peer to peer), but nothing can
// make a new connection to them, and the program cannot tell from its own ports. The watch
// finds out with a port of its own, the canary: when the server no longer knows the canary,
// the watch registers it again. If that fails the server is down and everything is left as
// it is (a port closed now could not be opened again, and its connections still work); once
// it succeeds the server was started again, and the watch raises its generation. Every owner
// of a long-lived port compares the generation on its own tick with the one its port was
// registered in, and opens the port again (which registers it) when they differ.
//
// On the bundled layer opening a port is registering it, so the canary is always known and
// the generation never changes.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class RegistrationWatch {
public:
    /// What the watch asks of the middleware, through its canary port.
    struct Canary {
        /// True when the name server knows the canary (and it answers).
        std::function<bool()> known;
        /// Closes the canary and opens it again; true when it is registered after the call.
        std::function<bool()> register_again;
    };

    static constexpr std::chrono::milliseconds kDefaultPeriod{2000};

    /// Registers the canary (on the caller's thread; a failure then is not a restart) and
    /// starts the watch's thread, whose checks come `period` apart. `program` starts the one line
    /// printed per restart seen.
    RegistrationWatch(std::string program, Canary canary,
                      std::chrono::milliseconds period = kDefaultPeriod);
    /// Stops the watch (see stop()).
    ~RegistrationWatch();

    RegistrationWatch(const RegistrationWatch&) = delete;
    RegistrationWatch& operator=(const RegistrationWatch&) = delete;

    /// How many times the name server was seen started again (0 until the first time). Any
    /// thread may ask.
    std::uint64_t generation() const;

    /// Ends the checks, joins the thread and lets the canary go (what its calls hold is
    /// released, so its port closes); the canary is not called after this returns.
    /// A program calls it before it shuts the middleware down: a thread still in a
    /// middleware call then would take the process down with it. Idempotent.
    void stop();

private:
    void watch(bool registered);

    std::string program;
    Canary canary;
    std::chrono::milliseconds period;

    mutable std::mutex mutex;   // guards stopping and restarts
    std::condition_variable stop_asked;
    bool stopping = false;
    std::uint64_t restarts = 0;
    std::thread thread;
};
