#include "agents/behaviour/ball_pos_agent.h"

#include <utility>

#include "core/report.h"

yarp::sig::Vector ball_vector(const blue_ball::BallEstimate& estimate) {
    return yarp::sig::Vector{estimate.x, estimate.y, static_cast<double>(estimate.width),
                             static_cast<double>(estimate.height), estimate.found ? 1.0 : 0.0};
}

BallPosAgent::BallPosAgent(std::string key) : Agent(key) { print_agent_created(key); }

BallPosAgent::BallPosAgent(std::string key, Space& space) : Agent(key, space) {
    print_agent_created(key);
}

BallPosAgent::~BallPosAgent() = default;

AgentBlock BallPosAgent::defaults() {
    AgentBlock block;
    block.name = "HeadAgent";
    block.input_key = "leftImage";
    block.output_key = "ball_pos";
    return block;
}

void BallPosAgent::init(std::string key) {
    config = space_read<AgentBlock>(key, defaults());
    trigger_attach(config.input_key, 1);
}

void BallPosAgent::sense_select_act(int /*id*/) {
    // The handle keeps the image alive and unchanged until the scan is over, however soon
    // the camera publishes the next one.
    const ImageHandle image = space_read<ImageHandle>(config.input_key, ImageHandle{});
    yarp::sig::Vector ball(5, 0.0);
    if (!image) {
        print_line("No Image \n");
    } else {
        const blue_ball::BallEstimate estimate = finder.find(
            image->getRawImage(), image->width(), image->height(), image->getRowSize());
        if (estimate.found) {
            print_line(format_text("Best guess at blue target: %g %g\n", estimate.x, estimate.y));
        }
        ball = ball_vector(estimate);
    }
    space_write(config.output_key, ball, 0, 1.0f);
}
