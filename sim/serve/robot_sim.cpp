#include "sim/serve/robot_sim.h"

#include <array>
#include <chrono>
#include <cmath>
#include <vector>

#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Network.h>
#include <yarp/os/Port.h>
#include <yarp/os/Property.h>
#include <yarp/sig/Image.h>
#include <yarp/sig/Vector.h>

#include "sim/serve/sim_board.h"
#include "sim/simulation/periodic_loop.h"
#include "sim/simulation/world_requests.h"

namespace sim {

namespace {

const char* const kHeadPort = "/icubSim/head";
const char* const kLeftArmPort = "/icubSim/left_arm";
const char* const kRightArmPort = "/icubSim/right_arm";
const char* const kCameraPort = "/icubSim/cam/left";
const char* const kWorldPort = "/icubSim/world";
const char* const kInertialPort = "/icubSim/inertial";
const char* const kSkinPort = "/icubSim/skin/left_hand";

std::vector<RequestItem> toItems(const yarp::os::Bottle& b)
{
    std::vector<RequestItem> items;
    items.reserve(b.size());
    for (std::size_t i = 0; i < b.size(); ++i) {
        const yarp::os::Value& v = b.get(i);
        if (v.isString() || v.isVocab32()) {
            items.push_back(RequestItem::word(v.asString()));
        } else if (v.isInt32() || v.isInt64() || v.isFloat64()) {
            items.push_back({RequestItem::Kind::Number, v.toString(), v.asFloat64()});
        } else {
            items.push_back({RequestItem::Kind::Other, v.toString(), 0.0});
        }
    }
    return items;
}

yarp::os::Bottle toBottle(const WorldReply& reply)
{
    yarp::os::Bottle b;
    if (!reply.ok) {
        b.addVocab32("fail");
        b.addString(reply.error);
    } else if (reply.values.empty()) {
        b.addVocab32("ok");
    } else {
        for (double v : reply.values) {
            b.addFloat64(v);
        }
    }
    return b;
}

bool samePose(const Pose& a, const Pose& b)
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (a.orientation.m[i][j] != b.orientation.m[i][j]) {
                return false;
            }
        }
    }
    return a.position.x == b.position.x && a.position.y == b.position.y && a.position.z == b.position.z;
}

/// One control board of the robot, served the way the robot serves its parts: a
/// deviceBundler that opens controlBoard_nws_yarp under the part's name and attaches a
/// sim_board device bound to the part's joint board.
class ServedPart {
public:
    ServedPart(const char* name, JointBoard& board) : name_(name), board_(board) {}
    ServedPart(const ServedPart&) = delete;
    ServedPart& operator=(const ServedPart&) = delete;
    ~ServedPart() { close(); }

    bool open()
    {
        if (!SimBoard::offer(name_, board_)) {
            return false;
        }
        offered_ = true;
        yarp::os::Property config;
        config.put("device", "deviceBundler");
        config.put("wrapper_device", "controlBoard_nws_yarp");
        config.put("attached_device", SimBoard::kDeviceName);
        config.put("name", name_);
        return bundle_.open(config);
    }

    void close()
    {
        bundle_.close();
        withdraw();
    }

    /// Leaves the board served to the clients it has, and lets a new part be offered under
    /// the same name.
    void retire() { withdraw(); }

    /// The port whose name a refusal to open is reported with.
    std::string rpcPort() const { return BoardServer::rpcPortName(name_); }

private:
    void withdraw()
    {
        if (offered_) {
            SimBoard::withdraw(name_);
            offered_ = false;
        }
    }

    std::string name_;
    JointBoard& board_;
    yarp::dev::PolyDriver bundle_;
    bool offered_ = false;
};

} // namespace

struct RobotSim::Boards {
    ServedPart head;
    ServedPart leftArm;
    ServedPart rightArm;

    explicit Boards(Simulation& sim)
        : head(kHeadPort, sim.head()), leftArm(kLeftArmPort, sim.leftArm()), rightArm(kRightArmPort, sim.rightArm())
    {
    }
    /// The head first: a second instance fails on it before touching anything else.
    std::array<ServedPart*, 3> all() { return {&head, &leftArm, &rightArm}; }
};

struct RobotSim::Ports {
    std::unique_ptr<Boards> boards;
    yarp::os::Port world;
    yarp::os::BufferedPort<yarp::sig::ImageOf<yarp::sig::PixelRgb>> camera;
    yarp::os::BufferedPort<yarp::sig::Vector> inertial;
    yarp::os::BufferedPort<yarp::sig::Vector> skin;
    PeriodicLoop physics;
    PeriodicLoop cameraLoop;

    // Physics thread only.
    std::chrono::steady_clock::time_point physicsStart;
    double simulatedTime = 0.0;

    // Camera thread only: what the frame in the camera port's buffer shows.
    bool haveFrame = false;
    Pose framePose;
    Vec3 frameBall;
    std::uint64_t frameBody = 0; ///< body revision (arm poses) the frame shows

    explicit Ports(Simulation& sim) : boards(std::make_unique<Boards>(sim)) {}
};

RobotSim::RobotSim(Simulation& simulation, const Settings& settings)
    : sim_(simulation), settings_(settings), intrinsics_(Intrinsics::forSize(settings.width, settings.height))
{
}

RobotSim::~RobotSim() { stop(); }

std::string RobotSim::start()
{
    if (started_) {
        return {};
    }
    ports_ = std::make_unique<Ports>(sim_);
    Ports& p = *ports_;
    // Asked before each open: after a refused open on an installed YARP the name may stay
    // registered with a number another program's port holds, which would answer for it.
    bool taken = false;
    auto free = [&taken](const std::string& port) {
        taken = yarp::os::NetworkBase::exists(port);
        return !taken;
    };
    auto refused = [this, &taken](const std::string& port) {
        refusedAsTaken_ = taken;
        ports_.reset(); // closes whatever was opened
        return "cannot open port " + port
               + (taken ? ": it is already in use (is another robot_sim running?)"
                        : ": the name is invalid, the port registry is not usable, or the name "
                          "server is down or gave it a number still in use");
    };
    SimBoard::registerDevice();
    for (ServedPart* part : p.boards->all()) {
        if (!free(part->rpcPort()) || !part->open()) {
            return refused(part->rpcPort());
        }
    }
    if (!free(kWorldPort) || !p.world.open(kWorldPort)) {
        return refused(kWorldPort);
    }
    if (settings_.camera && (!free(kCameraPort) || !p.camera.open(kCameraPort))) {
        return refused(kCameraPort);
    }
    if (!free(kInertialPort) || !p.inertial.open(kInertialPort)) {
        return refused(kInertialPort);
    }
    if (!free(kSkinPort) || !p.skin.open(kSkinPort)) {
        return refused(kSkinPort);
    }

    stopping_ = false;
    started_ = true;
    p.physicsStart = std::chrono::steady_clock::now();
    p.physics.start(std::chrono::milliseconds(10), [this] { physicsTick(); });
    if (settings_.camera) {
        const auto period = std::chrono::duration_cast<PeriodicLoop::Clock::duration>(
            std::chrono::duration<double>(1.0 / settings_.fps));
        p.cameraLoop.start(period, [this] { cameraTick(); });
    }
    worldThread_ = std::thread([this] { serveWorld(); });
    return {};
}

void RobotSim::stop()
{
    if (!started_) {
        ports_.reset();
        return;
    }
    started_ = false;
    stopping_ = true;
    Ports& p = *ports_;
    p.cameraLoop.stop();
    p.physics.stop();
    p.world.interrupt();
    if (worldThread_.joinable()) {
        worldThread_.join();
    }
    p.world.close();
    if (p.boards) {
        for (ServedPart* part : p.boards->all()) {
            part->close();
        }
    }
    p.camera.close();
    p.inertial.close();
    p.skin.close();
    ports_.reset();
}

std::string RobotSim::registerAgain()
{
    if (started_ && ports_->boards) {
        for (ServedPart* part : ports_->boards->all()) {
            part->retire();
        }
        // Never closed (see the header): released, not destroyed.
        retired_.push_back(ports_->boards.release());
    }
    stop();
    return start();
}

void RobotSim::physicsTick()
{
    Ports& p = *ports_;
    // Keep simulated time in step with the clock in whole steps; after a stall of more
    // than a tenth of a second the lost time is dropped instead of replayed in a burst.
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - p.physicsStart).count();
    if (now - p.simulatedTime > 0.1) {
        p.simulatedTime = now - kPhysicsStep;
    }
    bool stepped = false;
    Simulation::SensorFrame frame;
    while (p.simulatedTime + kPhysicsStep <= now + 1e-9) {
        frame = sim_.step(kPhysicsStep);
        p.simulatedTime += kPhysicsStep;
        stepped = true;
    }
    if (!stepped) {
        return;
    }
    yarp::sig::Vector& inertial = p.inertial.prepare();
    inertial.resize(frame.inertial.size());
    for (std::size_t i = 0; i < frame.inertial.size(); ++i) {
        inertial[i] = frame.inertial[i];
    }
    p.inertial.write();
    yarp::sig::Vector& skin = p.skin.prepare();
    skin.resize(frame.leftHandSkin.size());
    for (std::size_t i = 0; i < frame.leftHandSkin.size(); ++i) {
        skin[i] = frame.leftHandSkin[i];
    }
    p.skin.write();
}

void RobotSim::cameraTick()
{
    Ports& p = *ports_;
    const Pose eye = sim_.leftEye();
    const Vec3 ball = sim_.world().ball();
    const std::uint64_t body = sim_.renderer().bodyRevision();
    yarp::sig::ImageOf<yarp::sig::PixelRgb>& image = p.camera.prepare();
    // The port's buffer keeps the last frame: render only when the view changed.
    const bool unchanged = p.haveFrame && samePose(eye, p.framePose) && ball.x == p.frameBall.x
                           && ball.y == p.frameBall.y && ball.z == p.frameBall.z
                           && body == p.frameBody && image.width() == intrinsics_.width && image.height() == intrinsics_.height;
    if (!unchanged) {
        image.resize(intrinsics_.width, intrinsics_.height);
        sim_.renderer().render(eye, intrinsics_, ball, image.getRawImage(), image.getRowSize());
        p.haveFrame = true;
        p.framePose = eye;
        p.frameBall = ball;
        p.frameBody = body;
    }
    p.camera.write();
    frames_.fetch_add(1);
}

void RobotSim::serveWorld()
{
    Ports& p = *ports_;
    while (!stopping_) {
        yarp::os::Bottle request;
        if (!p.world.read(request, true)) {
            if (stopping_ || !p.world.isOpen()) {
                break;
            }
            continue; // a message that did not decode: the layer answers it "no reply"
        }
        yarp::os::Bottle answer = toBottle(handleWorldRequest(toItems(request), sim_));
        p.world.reply(answer);
    }
}

} // namespace sim
