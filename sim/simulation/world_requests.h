#pragma once
// The simulator's world request interface, independent of the transport:
//   world set ball X Y Z   -> ok          (moves the ball)
//   world get ball         -> X Y Z       (the ball's centre)
//   world get lhand        -> X Y Z       (centre of the left palm; rhand: the right one)
// Anything else gets an error that names the problem, and changes nothing.
#include <string>
#include <vector>

#include "sim/simulation/simulation.h"

namespace sim {

/// One item of a request as it arrived: a word, a number, or anything else (a list...).
struct RequestItem {
    enum class Kind { Word, Number, Other };
    Kind kind = Kind::Other;
    std::string text;   ///< the word, or a printable form of the item
    double number = 0.0;

    static RequestItem word(std::string w) { return {Kind::Word, std::move(w), 0.0}; }
    static RequestItem num(double v) { return {Kind::Number, std::to_string(v), v}; }
};

struct WorldReply {
    bool ok = false;
    std::vector<double> values; ///< coordinates of a get; empty for a set
    std::string error;          ///< when not ok: one line naming the problem
};

WorldReply handleWorldRequest(const std::vector<RequestItem>& request, Simulation& sim);

} // namespace sim
