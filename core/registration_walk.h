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
// A walk leaves a run of kClearRun - 1 freed numbers behind it, which a later walk must not
// take for the end of the numbers in use: the canary each walk ends on is kept open for the
// life of the program (one port per restart), so that no run of free numbers a walk left is
// as long as kClearRun. A server that is down refuses every attempt; so may a long run of
// numbers in use, which is why a walk stops after kDownRun refusals in a row and goes on at
// the next check.
//
// A refused name may stay registered with the number of another program's live port, which
// then answers for it: the canary is only ever asked about the name it is open under.
#include <memory>
#include <string>
#include <vector>

template <class PortType>
class WalkingCanary {
public:
    static constexpr int kClearRun = 20;
    static constexpr int kDownRun = 8;
    static constexpr int kMostAttempts = 256;

    explicit WalkingCanary(std::string base_name) : base(std::move(base_name)) {}
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
    /// row succeed; true then, with the canary open under the last of them. The canaries
    /// opened before stay open.
    bool walk(int clear_run = kClearRun)
    {
        int opened = 0;
        int refused = 0;
        for (int attempt = 0; attempt < kMostAttempts && refused < kDownRun; ++attempt) {
            auto probe = std::make_unique<PortType>();
            const std::string name = base + "/" + std::to_string(++renamed);
            if (!probe->open(name)) {
                opened = 0;
                ++refused;
                continue;
            }
            refused = 0;
            if (++opened == clear_run) {
                current = name;
                kept.push_back(std::move(probe));
                return true;
            }
            probe->close();
        }
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
    std::string current;
    unsigned renamed = 0;
    bool plain_tried = false;
    std::vector<std::unique_ptr<PortType>> kept;   ///< every canary opened, the newest last
};
