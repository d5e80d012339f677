#pragma once
// The canary port of a program that notices a restarted name server, and how it registers
// with a server started again while other ports are still open. Header only, and free of YARP
// (the port type is the caller's), so that every program with a canary, robot_sim among
// them, registers the same way.
//
// A name server started again hands out numbers from the start of its range upward, and
// some are still held by ports opened before (in this and other programs): an open given one
// fails ("address conflict") and uses it up. The server gives a name the number it had before
// whenever that number is free in its own records, so a name that met a number in use is
// given it again at every try, for as long as its holder lives. After a restart the canary
// therefore walks past the numbers in use, with a fresh name per attempt, until kClearRun
// opens in a row succeed: the ports registered again after that get numbers nobody holds.
//
// A walk leaves its freed numbers behind it, and at the next restart a walk may take such a
// run for the end of the numbers in use and hand the ports after it numbers still held.
// Behind ports that all register again at each restart that costs a few seconds (they open
// again, and so free their numbers, at once); behind ports that stay open for good
// (robot_sim's retired boards) it would cost a port that never opens. So the canary is the
// first open of the run, not the last: the run's freed numbers then lie between two live
// ports and are one fewer than a run; a program with ports open for good keeps the canary of
// every walk open for its life (`keep_canaries`, one port per restart). kClearRun is longer
// than what the programs free together between two walks (a controller's walk and ports, a
// tour's ports, the simulator's plain ports). A server that is down refuses every attempt;
// so may a long run of numbers in use, which is why a walk stops after kDownRun refusals in
// a row and goes on at the next check.
//
// A refused name may stay registered with the number of another program's live port, which
// then answers for it: the canary is only ever asked about the name it is open under.
#include <memory>
#include <string>
#include <vector>

template <class PortType>
class WalkingCanary {
public:
    static constexpr int kClearRun = 64;
    static constexpr int kDownRun = 8;
    static constexpr int kMostAttempts = 256;

    /// With `keep_canaries` the canaries of earlier walks stay open (see the top of this
    /// file); without, each one closes once the next is open.
    WalkingCanary(std::string base_name, bool keep_canaries)
        : base(std::move(base_name)), keep(keep_canaries) {}
    ~WalkingCanary()
    {
        for (auto& port : kept) port->close();
    }
    WalkingCanary(const WalkingCanary&) = delete;
    WalkingCanary& operator=(const WalkingCanary&) = delete;

    /// The first registration: under the plain name at the first call, under a fresh name at
    /// each later one (the plain name may have met a number in use). True when it is open.
    bool open_first()
    {
        if (plain_tried) return walk(1);
        plain_tried = true;
        return try_open(base);
    }

    /// Opens the canary under fresh names (base/1, base/2, ...) until `clear_run` opens in a
    /// row succeed; true then, with the canary open under the first of them.
    bool walk(int clear_run = kClearRun)
    {
        // The canary is the first open of the run, held while the run lasts: the run's other
        // numbers go free behind it, and the next port registered after the walk lies past
        // the run.
        std::unique_ptr<PortType> first;
        std::string first_name;
        int opened = 0;
        int refused = 0;
        for (int attempt = 0; attempt < kMostAttempts && refused < kDownRun; ++attempt) {
            auto probe = std::make_unique<PortType>();
            const std::string name = base + "/" + std::to_string(++renamed);
            if (!probe->open(name)) {
                if (first) first->close();
                first.reset();
                opened = 0;
                ++refused;
                continue;
            }
            refused = 0;
            if (opened++ == 0) {
                first = std::move(probe);
                first_name = name;
            } else {
                probe->close();
            }
            if (opened == clear_run) {
                if (!keep) {
                    for (auto& old : kept) old->close();
                    kept.clear();
                }
                current = first_name;
                kept.push_back(std::move(first));
                return true;
            }
        }
        if (first) first->close();
        return false;
    }

    /// The name the newest canary is open under; empty before the first open.
    const std::string& name() const { return current; }

private:
    bool try_open(const std::string& name)
    {
        auto port = std::make_unique<PortType>();
        if (!port->open(name)) return false;
        current = name;
        kept.push_back(std::move(port));
        return true;
    }

    const std::string base;
    const bool keep;
    std::string current;
    unsigned renamed = 0;
    bool plain_tried = false;
    std::vector<std::unique_ptr<PortType>> kept;   ///< the canaries open, the newest last
};
