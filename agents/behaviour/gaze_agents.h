#pragma once
// Gaze agents: turn the ball vector and the head's encoder vector into head velocity
// commands, and one agent that swings the head's yaw target.
//
//  - LookAtAgent turns the neck (pitch, yaw) toward the ball while it is seen.
//  - FocusAgent brings the eyes (tilt, version) back toward zero while the ball is seen.
//  - RestPosAgent periodically pulls neck pitch and yaw back toward zero.
//  - EyeVersionAgent and EyeTiltAgent periodically swing the eyes across zero, in search.
//  - WriteAgent alternates the yaw position target between 0 and 40 once a second.
//
// The five gaze agents all write one head velocity vector and never talk to each other: the
// Space settles between them by priority and validity. The ball-driven agents write at
// priority 100 for 300 ms, renewed with every image while the ball is seen, so the search
// and rest agents (priority 10 or 1) cannot replace a tracking command while it is valid.
//
// Head vectors have six elements: 0 pitch, 1 roll, 2 yaw, 3 eye tilt, 4 eye version,
// 5 eye vergence. The ball vector has five: centroid x, centroid y, image width, image
// height, found flag. A vector shorter than that counts as missing: the agent uses its
// all-zero default and says so once per key.
#include <cstddef>
#include <map>
#include <string>

#include <yarp/sig/Vector.h>

#include "core/agentspace.h"
#include "core/report.h"

/// The control laws of the gaze agents, free of the Space so they can be checked directly.
namespace gaze {

constexpr std::size_t kHeadJoints = 6;    ///< elements of a head vector
constexpr std::size_t kBallElements = 5;  ///< elements of a ball vector

/// Indices into a head vector.
enum HeadJoint : std::size_t {
    kPitch = 0,
    kRoll = 1,
    kYaw = 2,
    kEyeTilt = 3,
    kEyeVersion = 4,
    kEyeVergence = 5,
};

/// Validity and priority of one agent's head velocity writes.
struct WriteRule {
    int validity_ms;
    float priority;
};

constexpr WriteRule kTrackingWrite{300, 100.0f};      ///< LookAtAgent, FocusAgent
constexpr WriteRule kRestWrite{300, 1.0f};            ///< RestPosAgent
constexpr WriteRule kVersionSearchWrite{1000, 1.0f};  ///< EyeVersionAgent
constexpr WriteRule kTiltSearchWrite{250, 10.0f};     ///< EyeTiltAgent

constexpr double kTrackingGain = -0.4;  ///< velocity per pixel or per unit of eye position
constexpr double kRestGain = -0.3;      ///< velocity per unit of neck position
constexpr double kSearchSpeed = 70.0;   ///< eye speed while searching

/// Whether a ball vector reports the ball: found flag strictly greater than 0.5. A vector
/// without a found flag (fewer than five elements) reports nothing.
[[nodiscard]] bool ball_found(const yarp::sig::Vector& ball);

/// Neck toward the ball: pitch from the ball's vertical offset from the image centre, yaw
/// from its horizontal offset. Changes only pitch and yaw of `command`. Needs a five-element
/// `ball` and a six-element `command`.
void look_at(const yarp::sig::Vector& ball, yarp::sig::Vector& command);

/// Eyes toward zero: eye tilt and eye version against their positions in `encoders`.
/// Changes only those two elements of `command`. Needs six elements in both.
void focus(const yarp::sig::Vector& encoders, yarp::sig::Vector& command);

/// Neck toward zero: pitch and yaw against their positions in `encoders`. Changes only
/// those two elements of `command`. Needs six elements in both.
void rest(const yarp::sig::Vector& encoders, yarp::sig::Vector& command);

/// Horizontal search: six zeros but eye version, -70 when the eyes' version position is
/// above zero, else +70 (exactly zero gives +70). Needs six encoder elements.
[[nodiscard]] yarp::sig::Vector version_search(const yarp::sig::Vector& encoders);

/// Vertical search: six zeros but eye tilt, -70 when the tilt position is above zero,
/// else +70. Needs six encoder elements.
[[nodiscard]] yarp::sig::Vector tilt_search(const yarp::sig::Vector& encoders);

/// Refuses vectors shorter than the elements an agent indexes. A short vector counts as
/// missing; it is reported with one line the first time a key holds one, and again only
/// after that key has held a vector of full length in between.
class LengthCheck {
public:
    /// `agent` names the agent in the report line.
    explicit LengthCheck(std::string agent);

    /// `value` when it has at least `needed` elements, else `fallback` (and the report).
    [[nodiscard]] yarp::sig::Vector accept(const std::string& key, yarp::sig::Vector value,
                                           std::size_t needed, const yarp::sig::Vector& fallback);

    /// Records that `key` held a vector of `size` elements where `needed` are indexed;
    /// reports a short one as accept() does. Returns whether it was long enough.
    bool note(const std::string& key, std::size_t size, std::size_t needed);

private:
    std::string agent;
    std::map<std::string, ReportOnce<>> short_keys;  // per key: its short vector was reported
};

}  // namespace gaze

/// What the five gaze agents share: the creation line, their configuration block, the
/// length check of what they read, and the two ways they write the head velocity vector.
class GazeAgent : public Agent {
protected:
    /// Prints the creation line. `agent_class` names the agent in its report lines.
    GazeAgent(std::string key, const char* agent_class);
    GazeAgent(std::string key, Space& space, const char* agent_class);

    /// Reads the configuration under `key` (`defaults` when there is none).
    void configure(const std::string& key, const AgentBlock& defaults);
    /// The vector under `key`, or `fallback` when it is missing, lapsed or shorter than
    /// `needed` (said once per key).
    yarp::sig::Vector read(const std::string& key, const yarp::sig::Vector& fallback,
                           std::size_t needed);
    /// The head encoder vector under `key`, or six zeros.
    yarp::sig::Vector read_encoders(const std::string& key);
    /// Changes some elements of the head velocity vector under the output key in one step of
    /// the Space (see gaze_agents.cpp), with `rule`'s validity and priority.
    template <class Law>
    void change_head_velocity(gaze::WriteRule rule, Law law);
    /// Writes a whole head velocity vector under the output key with `rule`.
    void write_head_velocity(const yarp::sig::Vector& command, gaze::WriteRule rule);

    AgentBlock config;
    yarp::sig::Vector velocity_command;   ///< the command last written
    const yarp::sig::Vector zeros{yarp::sig::Vector(gaze::kHeadJoints, 0.0)};

private:
    gaze::LengthCheck lengths;
};

/// Turns the neck toward the ball while it is seen.
///
/// Woken by every write of the ball vector (input key). Prints "target: " and the ball
/// vector; when the ball is found, sets pitch and yaw velocity in the head velocity vector
/// (output key), leaving the other elements as stored, with validity 300 and priority 100.
class LookAtAgent : public GazeAgent {
public:
    explicit LookAtAgent(std::string key);
    LookAtAgent(std::string key, Space& space);

    void init(std::string key) override;
    void sense_select_act(int id) override;

    /// input "ball_pos", output "head_vel".
    static AgentBlock defaults();

private:
    yarp::sig::Vector target;
};

/// Brings the eyes back toward zero while the ball is seen.
///
/// Woken by every write of the ball vector (input key). Prints the eye version position and
/// the found flag; when the ball is found, sets eye tilt and eye version velocity in the head
/// velocity vector (output key) from the encoder vector (aux key), with validity 300 and
/// priority 100.
class FocusAgent : public GazeAgent {
public:
    explicit FocusAgent(std::string key);
    FocusAgent(std::string key, Space& space);

    void init(std::string key) override;
    void sense_select_act(int id) override;

    /// input "ball_pos", output "head_vel", aux "head_enc".
    static AgentBlock defaults();

private:
    yarp::sig::Vector encoder_values;
    yarp::sig::Vector target;
};

/// Periodically pulls neck pitch and yaw back toward zero.
///
/// On every timer tick sets pitch and yaw velocity in the head velocity vector (output key)
/// from the encoder vector (aux key), with validity 300 and priority 1. The ball vector is
/// not consulted.
class RestPosAgent : public GazeAgent {
public:
    explicit RestPosAgent(std::string key);
    RestPosAgent(std::string key, Space& space);

    void init(std::string key) override;
    void sense_select_act(int id) override;

    /// input "ball_pos" (not used), output "head_vel", aux "head_enc", first tick after
    /// 1500 ms, then every 2500 ms.
    static AgentBlock defaults();

private:
    yarp::sig::Vector encoder_values;
};

/// Swings the eyes from side to side in search.
///
/// On every timer tick reads the encoder vector (input key), prints the eye version
/// position, and writes a head velocity vector of zeros but for eye version (+-70, against
/// the current side) with validity 1000 and priority 1.
class EyeVersionAgent : public GazeAgent {
public:
    explicit EyeVersionAgent(std::string key);
    EyeVersionAgent(std::string key, Space& space);

    void init(std::string key) override;
    void sense_select_act(int id) override;

    /// input "head_enc", output "head_vel", first tick after 1000 ms, then every 1200 ms.
    static AgentBlock defaults();
};

/// Swings the eyes up and down in search.
///
/// On every timer tick reads the vector under the input key (the encoder vector in the
/// program's wiring; the head velocity vector by default), and writes a head velocity vector
/// of zeros but for eye tilt (+-70, against the current side) with validity 250 and
/// priority 10. Prints nothing.
class EyeTiltAgent : public GazeAgent {
public:
    explicit EyeTiltAgent(std::string key);
    EyeTiltAgent(std::string key, Space& space);

    void init(std::string key) override;
    void sense_select_act(int id) override;

    /// input "head_vel", output "head_vel", first tick after 1000 ms, then every 2000 ms.
    static AgentBlock defaults();
};

/// Alternates the head's position targets under "head_joints" once a second, on whole
/// seconds: all zeros, then 40 for yaw, then all zeros again, and so on (validity 0,
/// priority 1). Reads no configuration.
class WriteAgent : public Agent {
public:
    /// Prints "Agent <key> created".
    explicit WriteAgent(std::string key);
    WriteAgent(std::string key, Space& space);
    ~WriteAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

private:
    int toggle = 0;
    yarp::sig::Vector joints;
};
