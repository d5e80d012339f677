#pragma once
// An agent of one's own: it watches the ball vector the ball finder writes and keeps, under
// its output key, how long the ball has been in view (seconds, 0 while it is not seen). It
// prints one line when the ball comes into view and one, with how long it was seen, when the
// ball is lost.
#include <chrono>
#include <optional>
#include <string>

#include "core/agentspace.h"

class BallWatchAgent : public Agent {
public:
    /// Prints the creation line; reads its block (input and output key) when it starts.
    explicit BallWatchAgent(std::string key);
    BallWatchAgent(std::string key, Space& space);

    /// input "ballPos", output "ball_in_view".
    static AgentBlock defaults();

    void init(std::string key) override;
    void sense_select_act(int id) override;

private:
    AgentBlock config;
    std::optional<std::chrono::steady_clock::time_point> seen_since;
};
