#pragma once
// The ball finder: turns every camera image published in the Space into a ball vector.
#include <string>

#include <yarp/sig/Vector.h>

#include "agents/behaviour/blue_ball_finder.h"
#include "agents/image_handle.h"
#include "core/agentspace.h"

/// The five-element ball vector readers find in the Space: centroid column, centroid row,
/// image width, image height, found flag (1.0 or 0.0; readers test greater than 0.5).
[[nodiscard]] yarp::sig::Vector ball_vector(const blue_ball::BallEstimate& estimate);

/// Locates the blue ball in each camera image and publishes the ball vector.
///
/// The ball is the largest compact, round blob of pure-blue pixels (see BallFinder): the
/// navy covers of the robot's own arms and feet, though they pass the blue test, are never
/// reported, and two balls give the larger one rather than the point between them.
/// Woken by every write of the image key, it scans the image handed out at that moment (the
/// handle keeps it unchanged for the scan) and writes exactly one ball vector per wake-up
/// under the output key, validity 0 and priority 1.0: found or not, so readers never act
/// on a stale position. Without an image it prints "No Image " and writes five zeros. When
/// the ball is found it prints "Best guess at blue target: <x> <y>". It opens no port.
class BallPosAgent : public Agent {
public:
    /// Prints the creation line; reads nothing and starts nothing.
    explicit BallPosAgent(std::string key);
    /// The same, bound to `space` instead of the process-wide Space.
    BallPosAgent(std::string key, Space& space);
    ~BallPosAgent() override;

    /// Reads the configuration (defaults: input "leftImage", output "ball_pos") and
    /// attaches a trigger on the input key.
    void init(std::string key) override;
    /// One scan of the image in force; the wake-up number is not used.
    void sense_select_act(int id) override;

    /// The configuration used when the Space holds none under the agent's key.
    static AgentBlock defaults();

private:
    AgentBlock config;
    blue_ball::BallFinder finder;  ///< its buffers are reused from image to image
};
