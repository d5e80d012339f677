#include "ball_watch_agent.h"

#include <yarp/sig/Vector.h>

#include "agents/behaviour/gaze_agents.h"   // gaze::ball_found: what "the ball is seen" means
#include "core/report.h"

BallWatchAgent::BallWatchAgent(std::string key) : Agent(key) { print_agent_created(key); }

BallWatchAgent::BallWatchAgent(std::string key, Space& space) : Agent(key, space)
{
    print_agent_created(key);
}

AgentBlock BallWatchAgent::defaults()
{
    return {"BallWatch", "ballPos", "ball_in_view", "", 0, 0};
}

void BallWatchAgent::init(std::string key)
{
    config = space_read(key, defaults());
    // Woken by every write of the ball vector: once per camera image.
    trigger_attach(config.input_key, 1);
}

void BallWatchAgent::sense_select_act(int /*id*/)
{
    const auto ball = space_read(config.input_key, yarp::sig::Vector());
    const auto now = std::chrono::steady_clock::now();
    double seconds = 0.0;
    if (gaze::ball_found(ball)) {
        if (!seen_since) {
            seen_since = now;
            print_line("BallWatch: the ball is in view\n");
        }
        seconds = std::chrono::duration<double>(now - *seen_since).count();
    } else if (seen_since) {
        print_line(format_text("BallWatch: the ball was in view for %.1f s\n",
                               std::chrono::duration<double>(now - *seen_since).count()));
        seen_since.reset();
    }
    // Validity 0 and the ordinary priority: this agent is the entry's only writer.
    space_write(config.output_key, seconds, 0, 1.0f);
}
