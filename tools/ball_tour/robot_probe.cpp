#include "robot_probe.h"

#include "agents/behaviour/blue_ball_finder.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include <yarp/os/Bottle.h>
#include <yarp/os/Network.h>
#include <yarp/os/Property.h>

namespace probe {

// ---------------------------------------------------------------------------------------------
// Blue blob

double BlueBlob::error() const
{
    return std::hypot(x - width / 2.0, y - height / 2.0);
}

BlueBlob findBlueBlob(const RgbImage& image)
{
    BlueBlob blob;
    blob.width = image.width();
    blob.height = image.height();
    const unsigned char* raw = image.getRawImage();
    if (raw == nullptr) {
        return blob;
    }
    double sumX = 0.0;
    double sumY = 0.0;
    for (std::size_t y = 0; y < blob.height; ++y) {
        const unsigned char* row = raw + y * image.getRowSize();
        for (std::size_t x = 0; x < blob.width; ++x) {
            // The ball's own colour: the navy of the robot's arms passes a plain blue test.
            if (blue_ball::is_ball_coloured(row[3 * x], row[3 * x + 1], row[3 * x + 2])) {
                sumX += x;
                sumY += y;
                ++blob.count;
            }
        }
    }
    if (blob.count > 0) {
        blob.x = sumX / blob.count;
        blob.y = sumY / blob.count;
    }
    blob.found = blob.count > (blob.width / 20) * (blob.height / 20);
    return blob;
}

// ---------------------------------------------------------------------------------------------
// Camera

CameraWatch::~CameraWatch() { close(); }

bool CameraWatch::open(const std::string& localPort, const std::string& source, std::string* error)
{
    if (!port_.open(localPort)) {
        *error = kLocalPortRefused + localPort;
        return false;
    }
    if (!yarp::os::NetworkBase::connect(source, localPort)) {
        *error = "cannot connect " + source + " to " + localPort + " (is the simulator running?)";
        port_.close();
        return false;
    }
    reader_ = std::thread([this] { readLoop(); });
    return true;
}

void CameraWatch::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    newFrame_.notify_all();
    port_.interrupt();
    if (reader_.joinable()) {
        reader_.join();
    }
    port_.close();
}

void CameraWatch::readLoop()
{
    while (RgbImage* image = port_.read(true)) {
        auto copy = std::make_shared<const RgbImage>(*image);
        const BlueBlob blob = findBlueBlob(*copy);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            latest_.sequence += 1;
            latest_.received = Clock::now();
            latest_.blob = blob;
            image_ = std::move(copy);
        }
        newFrame_.notify_all();
    }
}

CameraFrame CameraWatch::latest() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

std::shared_ptr<const RgbImage> CameraWatch::latestImage() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return image_;
}

bool CameraWatch::waitForFrame(std::uint64_t afterSequence, std::chrono::milliseconds timeout, CameraFrame* frame)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool fresh = newFrame_.wait_for(lock, timeout, [&] { return closed_ || latest_.sequence > afterSequence; });
    if (!fresh || latest_.sequence <= afterSequence) {
        return false;
    }
    *frame = latest_;
    return true;
}

// ---------------------------------------------------------------------------------------------
// World

bool WorldClient::open(const std::string& localPort, const std::string& worldPort, std::string* error)
{
    if (!port_.open(localPort)) {
        *error = kLocalPortRefused + localPort;
        return false;
    }
    // Before connecting: an installed YARP gives the timeout only to connections made later.
    port_.setTimeout(5.0f);
    if (!yarp::os::NetworkBase::connect(localPort, worldPort)) {
        *error = "cannot connect " + localPort + " to " + worldPort + " (is the simulator running?)";
        port_.close();
        return false;
    }
    return true;
}

void WorldClient::close() { port_.close(); }

bool WorldClient::setBall(const Position& p, std::string* error)
{
    yarp::os::Bottle request("world set ball");
    request.addFloat64(p.x);
    request.addFloat64(p.y);
    request.addFloat64(p.z);
    yarp::os::Bottle reply;
    if (!port_.write(request, reply)) {
        *error = "no reply from the world port";
        return false;
    }
    if (reply.size() >= 1 && reply.get(0).toString().find("fail") != std::string::npos) {
        *error = reply.size() >= 2 ? reply.get(1).asString() : reply.toString();
        return false;
    }
    return true;
}

bool WorldClient::getBall(Position* p)
{
    yarp::os::Bottle request("world get ball");
    yarp::os::Bottle reply;
    if (!port_.write(request, reply) || reply.size() != 3) {
        return false;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        const yarp::os::Value& v = reply.get(i);
        if (!(v.isFloat64() || v.isInt32() || v.isInt64())) {
            return false;
        }
    }
    *p = Position{reply.get(0).asFloat64(), reply.get(1).asFloat64(), reply.get(2).asFloat64()};
    return true;
}

// ---------------------------------------------------------------------------------------------
// Head

HeadProbe::~HeadProbe() { close(); }

bool HeadProbe::open(const std::string& localPort, const std::string& remotePort, std::string* error)
{
    yarp::os::Property config;
    config.put("device", "remote_controlboard");
    config.put("local", localPort);
    config.put("remote", remotePort);
    // Asked first: a client that fails to open says nothing of which side was missing.
    if (!yarp::os::NetworkBase::exists(remotePort + "/rpc:i", true)) {
        *error = "no control board at " + remotePort + " (is the simulator running?)";
        return false;
    }
    if (!driver_.open(config) || !driver_.view(encoders_)) {
        *error = kLocalPortRefused + localPort + "/... for the board client of " + remotePort;
        driver_.close();
        encoders_ = nullptr;
        return false;
    }
    int axes = 0;
    if (!encoders_->getAxes(&axes) || axes != 6) {
        *error = remotePort + " does not report the six head axes";
        close();
        return false;
    }
    // A YARP client reads the encoders from the board's state stream: none until its first
    // message. The probe is ready once a reading comes.
    HeadJoints first{};
    const auto giveUp = Clock::now() + std::chrono::seconds(5);
    while (!encoders_->getEncoders(first.data())) {
        if (Clock::now() > giveUp) {
            *error = remotePort + " sent no joint state within 5 s";
            close();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void HeadProbe::close()
{
    encoders_ = nullptr;
    driver_.close();
}

bool HeadProbe::positions(HeadJoints* joints)
{
    HeadJoints read{};
    if (encoders_ == nullptr || !encoders_->getEncoders(read.data())) {
        return false;
    }
    *joints = read;
    return true;
}

bool HeadProbe::speeds(HeadJoints* joints)
{
    HeadJoints read{};
    if (encoders_ == nullptr || !encoders_->getEncoderSpeeds(read.data())) {
        return false;
    }
    *joints = read;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Processes

double processCpuSeconds(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text)) {
        return -1.0;
    }
    // The command name (field 2) is in parentheses and may hold blanks: count from the
    // last ')'. utime and stime are fields 14 and 15.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return -1.0;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14) {
            utime = std::stoull(field);
        } else if (n == 15) {
            stime = std::stoull(field);
        }
    }
    if (!fields) {
        return -1.0;
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

long processRssKb(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

}  // namespace probe
