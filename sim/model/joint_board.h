#pragma once
// Joint physics of one simulated control board: per-joint control modes, trapezoidal
// position moves limited by reference speed and acceleration, integrated velocity
// commands, and hard joint limits. Thread-safe: port threads command the board while the
// physics loop advances it.
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

/// Control mode of one joint. Every joint starts in Position.
enum class ControlMode {
    Idle,     ///< holds still and ignores motion commands
    Position, ///< follows position targets; velocity commands are ignored
    Velocity, ///< integrates the commanded velocity; position commands are ignored
};

/// Inclusive range of one joint, in degrees.
struct JointLimits {
    double min = 0.0;
    double max = 0.0;
};

/// One joint's state as seen from outside.
struct JointState {
    double position = 0.0; ///< degrees
    double velocity = 0.0; ///< degrees per second, the actual rate of the last step
    ControlMode mode = ControlMode::Position;
};

/// The simulated joints of one control board.
///
/// Command calls return false only for input the board refuses (an axis out of range, a
/// non-finite value, a non-positive reference speed or acceleration); a refused call
/// changes nothing. A command of the kind the joint's mode does not follow is ignored and
/// still returns true, as on the real robot. Array forms take exactly axes() values and
/// are applied to all joints or to none.
class JointBoard {
public:
    /// Reference speed (deg/s) and acceleration (deg/s^2) used until a caller sets them.
    static constexpr double kDefaultRefSpeed = 10.0;
    static constexpr double kDefaultRefAcceleration = 50.0;

    /// `start` is clamped into `limits`; both must have the same length (the shorter wins).
    JointBoard(std::string name, std::vector<JointLimits> limits, std::vector<double> start);

    const std::string& name() const { return name_; }
    std::size_t axes() const { return joints_.size(); }
    JointLimits limits(std::size_t j) const;

    bool positionMove(std::size_t j, double ref);
    bool positionMove(const double* refs);
    bool velocityMove(std::size_t j, double speed);
    bool velocityMove(const double* speeds);
    bool setRefSpeed(std::size_t j, double speed);
    bool setRefSpeeds(const double* speeds);
    bool setRefAcceleration(std::size_t j, double acc);
    bool setRefAccelerations(const double* accs);
    bool getRefSpeed(std::size_t j, double* speed) const;
    bool getRefAcceleration(std::size_t j, double* acc) const;
    bool getTarget(std::size_t j, double* target) const;

    /// Halts a joint where it is: a position joint holds its current position, a velocity
    /// joint's command becomes zero.
    bool stop(std::size_t j);
    bool stop();

    /// True when the joint is not moving toward an unreached target or with a non-zero
    /// velocity command that its limits still allow.
    bool checkMotionDone(std::size_t j, bool* done) const;
    bool checkMotionDone(bool* done) const;

    /// Switching mode makes the joint hold its current position (a zero velocity command
    /// in velocity mode).
    bool setControlMode(std::size_t j, ControlMode mode);
    bool getControlMode(std::size_t j, ControlMode* mode) const;

    bool getEncoder(std::size_t j, double* pos) const;
    bool getEncoderSpeed(std::size_t j, double* speed) const;
    std::vector<double> positions() const;
    std::vector<JointState> states() const;

    /// Advances every joint by `dt` seconds (ignored when not positive or not finite).
    void step(double dt);

private:
    struct Joint {
        JointLimits limits;
        ControlMode mode = ControlMode::Position;
        double position = 0.0;
        double velocity = 0.0;       // actual rate over the last step
        double profileSpeed = 0.0;   // signed speed of the position profile
        double target = 0.0;         // position mode
        double commanded = 0.0;      // velocity mode
        double refSpeed = kDefaultRefSpeed;
        double refAcceleration = kDefaultRefAcceleration;
    };

    // One field of joint j (or of every joint) read or set under the lock; false, changing
    // nothing, for an axis out of range, a null pointer, or a reference speed or
    // acceleration that is not finite and positive.
    template <typename T>
    bool readField(std::size_t j, T Joint::*field, T* out) const;
    bool setRef(std::size_t j, double Joint::*field, double value);
    bool setRefs(double Joint::*field, const double* values);

    void holdHere(Joint& joint);
    static void stepPosition(Joint& joint, double dt);
    static void stepVelocity(Joint& joint, double dt);
    static double clampTo(const JointLimits& l, double v);

    std::string name_;
    mutable std::mutex mutex_;
    std::vector<Joint> joints_;
};

/// Ranges of the six head joints: pitch, roll, yaw, eye tilt, eye version, eye vergence.
std::vector<JointLimits> headLimits();
/// Ranges of the sixteen joints of one arm and hand, in the arm window's order.
std::vector<JointLimits> armLimits();
/// Start pose of each arm, the real simulator's: arm raised to the side, elbow bent, hand
/// in front of the body.
std::vector<double> armStartPose();

} // namespace sim
