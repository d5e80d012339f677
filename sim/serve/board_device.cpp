#include "sim/serve/board_device.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include <yarp/os/Property.h>

namespace sim {

namespace {

/// Runs `call(joints[k], k)` for every listed joint, stopping at the first failure.
template <class Call>
bool eachJoint(int n_joint, const int* joints, Call call)
{
    for (int k = 0; k < n_joint; ++k) {
        if (!call(joints[k], k)) {
            return false;
        }
    }
    return true;
}

/// Runs `call(j)` for every axis, stopping at the first failure.
template <class Call>
bool eachAxis(int axes, Call call)
{
    for (int j = 0; j < axes; ++j) {
        if (!call(j)) {
            return false;
        }
    }
    return true;
}

} // namespace

double BoardDevice::wallClockSeconds()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

bool BoardDevice::validJoints(int n_joint, const int* joints) const
{
    if (n_joint < 0 || (n_joint > 0 && !joints)) {
        return false;
    }
    for (int k = 0; k < n_joint; ++k) {
        if (!validJoint(joints[k])) {
            return false;
        }
    }
    return true;
}

bool BoardDevice::checkMotionDone(int, bool*) { return false; }
bool BoardDevice::setRefSpeed(int, double) { return false; }
bool BoardDevice::setRefAcceleration(int, double) { return false; }
bool BoardDevice::getRefSpeed(int, double*) { return false; }
bool BoardDevice::getRefAcceleration(int, double*) { return false; }
bool BoardDevice::stop(int) { return false; }

bool BoardDevice::getAxes(int* ax)
{
    if (!ax) {
        return false;
    }
    *ax = axes();
    return true;
}

bool BoardDevice::getEncoder(int j, double* v)
{
    std::vector<double> all(static_cast<std::size_t>(axes()));
    if (!v || !validJoint(j) || !getEncoders(all.data())) {
        return false;
    }
    *v = all[static_cast<std::size_t>(j)];
    return true;
}

bool BoardDevice::getEncoderSpeed(int j, double* sp)
{
    std::vector<double> all(static_cast<std::size_t>(axes()));
    if (!sp || !validJoint(j) || !getEncoderSpeeds(all.data())) {
        return false;
    }
    *sp = all[static_cast<std::size_t>(j)];
    return true;
}

bool BoardDevice::getEncodersTimed(double* encs, double* time)
{
    if (!time || !getEncoders(encs)) {
        return false;
    }
    const double now = wallClockSeconds();
    for (int j = 0; j < axes(); ++j) {
        time[j] = now;
    }
    return true;
}

bool BoardDevice::getEncoderTimed(int j, double* enc, double* time)
{
    if (!time || !getEncoder(j, enc)) {
        return false;
    }
    *time = wallClockSeconds();
    return true;
}

bool BoardDevice::getRefSpeeds(double* spds)
{
    return spds && eachAxis(axes(), [&](int j) { return getRefSpeed(j, &spds[j]); });
}

bool BoardDevice::getRefAccelerations(double* accs)
{
    return accs && eachAxis(axes(), [&](int j) { return getRefAcceleration(j, &accs[j]); });
}

bool BoardDevice::positionMove(const int n_joint, const int* joints, const double* refs)
{
    return validJoints(n_joint, joints) && refs
        && eachJoint(n_joint, joints, [&](int j, int k) { return positionMove(j, refs[k]); });
}

bool BoardDevice::checkMotionDone(const int n_joint, const int* joints, bool* flag)
{
    if (!validJoints(n_joint, joints) || !flag) {
        return false;
    }
    bool all = true;
    const bool ok = eachJoint(n_joint, joints, [&](int j, int) {
        bool done = false;
        const bool answered = checkMotionDone(j, &done);
        all = all && done;
        return answered;
    });
    *flag = all;
    return ok;
}

bool BoardDevice::setRefSpeeds(const int n_joint, const int* joints, const double* spds)
{
    return validJoints(n_joint, joints) && spds
        && eachJoint(n_joint, joints, [&](int j, int k) { return setRefSpeed(j, spds[k]); });
}

bool BoardDevice::setRefAccelerations(const int n_joint, const int* joints, const double* accs)
{
    return validJoints(n_joint, joints) && accs
        && eachJoint(n_joint, joints, [&](int j, int k) { return setRefAcceleration(j, accs[k]); });
}

bool BoardDevice::getRefSpeeds(const int n_joint, const int* joints, double* spds)
{
    return validJoints(n_joint, joints) && spds
        && eachJoint(n_joint, joints, [&](int j, int k) { return getRefSpeed(j, &spds[k]); });
}

bool BoardDevice::getRefAccelerations(const int n_joint, const int* joints, double* accs)
{
    return validJoints(n_joint, joints) && accs
        && eachJoint(n_joint, joints, [&](int j, int k) { return getRefAcceleration(j, &accs[k]); });
}

bool BoardDevice::stop(const int n_joint, const int* joints)
{
    return validJoints(n_joint, joints) && eachJoint(n_joint, joints, [&](int j, int) { return stop(j); });
}

bool BoardDevice::velocityMove(const int n_joint, const int* joints, const double* spds)
{
    return validJoints(n_joint, joints) && spds
        && eachJoint(n_joint, joints, [&](int j, int k) { return velocityMove(j, spds[k]); });
}

bool BoardDevice::getControlModes(int* modes)
{
    return modes && eachAxis(axes(), [&](int j) { return getControlMode(j, &modes[j]); });
}

bool BoardDevice::getControlModes(const int n_joint, const int* joints, int* modes)
{
    return validJoints(n_joint, joints) && modes
        && eachJoint(n_joint, joints, [&](int j, int k) { return getControlMode(j, &modes[k]); });
}

bool BoardDevice::setControlModes(int* modes)
{
    return modes && eachAxis(axes(), [&](int j) { return setControlMode(j, modes[j]); });
}

bool BoardDevice::setControlModes(const int n_joint, const int* joints, int* modes)
{
    return validJoints(n_joint, joints) && modes
        && eachJoint(n_joint, joints, [&](int j, int k) { return setControlMode(j, modes[k]); });
}

bool BoardDevice::getEncoderAcceleration(int, double*) { return false; }
bool BoardDevice::getEncoderAccelerations(double*) { return false; }
bool BoardDevice::resetEncoder(int) { return false; }
bool BoardDevice::resetEncoders() { return false; }
bool BoardDevice::setEncoder(int, double) { return false; }
bool BoardDevice::setEncoders(const double*) { return false; }
bool BoardDevice::relativeMove(int, double) { return false; }
bool BoardDevice::relativeMove(const double*) { return false; }
bool BoardDevice::relativeMove(const int, const int*, const double*) { return false; }

bool BoardServer::open(const std::string& name, yarp::dev::DeviceDriver& device)
{
    close();
    yarp::os::Property config;
    config.put("device", "controlBoard_nws_yarp");
    config.put("name", name);
    if (!wrapper_.open(config)) {
        return false; // the wrapper printed why
    }
    device_.give(&device, false);
    if (!wrapper_.view(attachedTo_) || !attachedTo_->attach(&device_)) {
        std::fprintf(stderr, "BoardServer: the control board %s could not be attached to its wrapper\n", name.c_str());
        attachedTo_ = nullptr;
        close();
        return false;
    }
    return true;
}

void BoardServer::close()
{
    if (attachedTo_) {
        attachedTo_->detach();
        attachedTo_ = nullptr;
    }
    wrapper_.close();
    device_.close();
}

} // namespace sim
