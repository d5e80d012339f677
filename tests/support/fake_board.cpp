#include "support/fake_board.h"

#include <yarp/dev/IControlMode.h>

#include <algorithm>

namespace ac_test {

FakeBoard::FakeBoard(int axes)
    : axes_(axes < 0 ? 0 : axes),
      encoders_(static_cast<std::size_t>(axes_), 0.0),
      targets_(static_cast<std::size_t>(axes_), 0.0),
      velocities_(static_cast<std::size_t>(axes_), 0.0),
      refSpeeds_(static_cast<std::size_t>(axes_), 0.0),
      refAccelerations_(static_cast<std::size_t>(axes_), 0.0),
      modes_(static_cast<std::size_t>(axes_), VOCAB_CM_POSITION)
{
}

void FakeBoard::count(const std::string& operation)
{
    for (auto& c : calls_) {
        if (c.first == operation) {
            ++c.second;
            return;
        }
    }
    calls_.emplace_back(operation, 1);
}

bool FakeBoard::getEncoders(double* encs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("getEncoders");
    std::copy(encoders_.begin(), encoders_.end(), encs);
    return true;
}

bool FakeBoard::getEncodersTimed(double* encs, double* time)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("getEncodersTimed");
    std::copy(encoders_.begin(), encoders_.end(), encs);
    std::fill(time, time + axes_, wallClockSeconds());
    return true;
}

bool FakeBoard::getEncoderSpeeds(double* speeds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("getEncoderSpeeds");
    for (int j = 0; j < axes_; ++j) {
        const auto k = static_cast<std::size_t>(j);
        speeds[j] = modes_[k] == VOCAB_CM_VELOCITY ? velocities_[k] : 0.0;
    }
    return true;
}

bool FakeBoard::positionMove(int j, double ref)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("positionMove");
    if (j < 0 || j >= axes_) {
        return false;
    }
    const auto k = static_cast<std::size_t>(j);
    if (modes_[k] == VOCAB_CM_POSITION) {
        targets_[k] = ref;
        encoders_[k] = ref;
    }
    return true;
}

bool FakeBoard::positionMove(const double* refs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("positionMove");
    for (std::size_t k = 0; k < modes_.size(); ++k) {
        if (modes_[k] == VOCAB_CM_POSITION) {
            targets_[k] = refs[k];
            encoders_[k] = refs[k];
        }
    }
    return true;
}

bool FakeBoard::setRefSpeeds(const double* speeds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("setRefSpeeds");
    refSpeeds_.assign(speeds, speeds + axes_);
    return true;
}

bool FakeBoard::setRefAccelerations(const double* accs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("setRefAccelerations");
    refAccelerations_.assign(accs, accs + axes_);
    return true;
}

bool FakeBoard::checkMotionDone(bool* done)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("checkMotionDone");
    *done = true;
    return true;
}

bool FakeBoard::stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("stop");
    std::fill(velocities_.begin(), velocities_.end(), 0.0);
    return true;
}

bool FakeBoard::velocityMove(int j, double speed)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("velocityMove");
    if (j < 0 || j >= axes_) {
        return false;
    }
    const auto k = static_cast<std::size_t>(j);
    if (modes_[k] == VOCAB_CM_VELOCITY) {
        velocities_[k] = speed;
    }
    return true;
}

bool FakeBoard::velocityMove(const double* speeds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("velocityMove");
    for (std::size_t k = 0; k < modes_.size(); ++k) {
        if (modes_[k] == VOCAB_CM_VELOCITY) {
            velocities_[k] = speeds[k];
        }
    }
    return true;
}

bool FakeBoard::getControlMode(int j, int* mode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("getControlMode");
    if (j < 0 || j >= axes_) {
        return false;
    }
    *mode = modes_[static_cast<std::size_t>(j)];
    return true;
}

bool FakeBoard::setControlMode(const int j, const int mode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    count("setControlMode");
    if (j < 0 || j >= axes_ || (mode != VOCAB_CM_IDLE && mode != VOCAB_CM_POSITION && mode != VOCAB_CM_VELOCITY)) {
        return false;
    }
    const auto k = static_cast<std::size_t>(j);
    if (modes_[k] != mode) {
        velocities_[k] = 0.0; // leaving or entering velocity mode stops the joint
    }
    modes_[k] = mode;
    return true;
}

std::vector<double> FakeBoard::encoders() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return encoders_;
}

std::vector<double> FakeBoard::positionTargets() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return targets_;
}

std::vector<double> FakeBoard::velocities() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return velocities_;
}

std::vector<double> FakeBoard::refSpeeds() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return refSpeeds_;
}

std::vector<double> FakeBoard::refAccelerations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return refAccelerations_;
}

std::vector<int> FakeBoard::controlModes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return modes_;
}

int FakeBoard::calls(const std::string& operation) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& c : calls_) {
        if (c.first == operation) {
            return c.second;
        }
    }
    return 0;
}

void FakeBoard::setEncoders(const std::vector<double>& values)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t k = 0; k < encoders_.size() && k < values.size(); ++k) {
        encoders_[k] = values[k];
    }
}

} // namespace ac_test
