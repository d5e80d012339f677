#pragma once
// An in-process control board for tests and benchmarks: records what it is told, honours
// control modes the way the robot does, and lets a test set the encoder readings. Serve it
// with BoardServer to test a remote_controlboard client end to end.
#include "sim/serve/board_device.h"

#include <mutex>
#include <string>
#include <vector>

namespace ac_test {

class FakeBoard : public sim::BoardDevice {
public:
    /// `axes` joints, all in position mode at 0.
    explicit FakeBoard(int axes);

    int axes() const override { return axes_; }
    bool getEncoders(double* encs) override;
    /// What an installed YARP's wrapper reads for its state stream; counted apart
    /// ("getEncodersTimed") so that getEncoders counts only the clients' reads.
    bool getEncodersTimed(double* encs, double* time) override;
    bool getEncoderSpeeds(double* speeds) override;
    /// In position mode the joint reaches its target at once (encoder = target).
    bool positionMove(int j, double ref) override;
    bool positionMove(const double* refs) override;
    bool setRefSpeeds(const double* speeds) override;
    bool setRefAccelerations(const double* accs) override;
    bool checkMotionDone(bool* done) override;
    /// Zeroes every commanded velocity.
    bool stop() override;
    /// In velocity mode the joint's commanded velocity is recorded (encoders do not move).
    bool velocityMove(int j, double speed) override;
    bool velocityMove(const double* speeds) override;
    bool getControlMode(int j, int* mode) override;
    bool setControlMode(const int j, const int mode) override;
    using BoardDevice::checkMotionDone;
    using BoardDevice::positionMove;
    using BoardDevice::stop;
    using BoardDevice::velocityMove;

    // What the board was told (copies, safe from any thread).
    std::vector<double> encoders() const;
    std::vector<double> positionTargets() const;
    std::vector<double> velocities() const;
    std::vector<double> refSpeeds() const;
    std::vector<double> refAccelerations() const;
    std::vector<int> controlModes() const;
    /// Number of calls made to `operation` ("positionMove", "velocityMove", "stop", ...),
    /// ignored ones included.
    int calls(const std::string& operation) const;

    void setEncoders(const std::vector<double>& values);

private:
    void count(const std::string& operation);

    const int axes_;
    mutable std::mutex mutex_;
    std::vector<double> encoders_;
    std::vector<double> targets_;
    std::vector<double> velocities_;
    std::vector<double> refSpeeds_;
    std::vector<double> refAccelerations_;
    std::vector<int> modes_;
    std::vector<std::pair<std::string, int>> calls_;
};

} // namespace ac_test
