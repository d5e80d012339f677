#include "agents/robot/sensor_agents.h"

#include "core/report.h"

namespace {

/// "<word> <value as %f> \n".
std::string format_value_line(const char* word, double value)
{
    return format_text("%s %f \n", word, value);
}

} // namespace

std::string hand_position_line(double value)
{
    return format_value_line("Position", value);
}

std::string inertial_position_line(double value)
{
    return format_value_line("position", value);
}

// --- CamSensorAgent ------------------------------------------------------------------------

CamSensorAgent::CamSensorAgent(std::string key, std::shared_ptr<const RegistrationWatch> name_server)
    : Agent(key), watch(std::move(name_server))
{
    release_name = "CamSensorAgent";
    print_agent_created(key);
}

CamSensorAgent::~CamSensorAgent()
{
    if (port) {
        port->close();
    }
}

void CamSensorAgent::close_ports()
{
    std::lock_guard<std::mutex> lock(closing->mutex);   // no image is being given back meanwhile
    closing->closed = true;
    if (port) {
        port->close();
    }
}

void CamSensorAgent::init(std::string key)
{
    config = space_read(key, SensorBlock{"HeadAgent", "/left/image/in", "/icubSim/cam/left",
                                         "leftImage", "", 1000, 250});
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;   // released before it started: it never calls the robot
    }
    port = std::make_shared<ImagePort>();
    registration.configure(watch, "CamSensorAgent", key, config.local_port);
    registration.open(*port);
    link.configure("CamSensorAgent", key, config.remote_port, config.local_port,
                   config.remote_port);
    link.keep(port->getInputCount());
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void CamSensorAgent::sense_select_act(int /*id*/)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;   // the program is shutting down: no further call to the robot
    }
    bool registered = false;
    {
        // No image is given back while the port closes and opens again.
        std::lock_guard<std::mutex> lock(closing->mutex);
        registered = registration.keep(*port);
    }
    if (!registered) {
        return;   // not registered (yet) with the name server: nothing can connect to it
    }
    if (port->isClosed()) {
        print_line("No image\n");
        return;
    }
    if (!link.keep(port->getInputCount())) {
        return;
    }
    // Never waits: a simulator that goes away would leave a waiting read blocked for good,
    // and the agent could not connect again once it is back.
    CameraImage* image = port->read(false);
    if (image == nullptr) {
        return;   // no new image since the last tick
    }
    ImageHandle handle;
    if (void* token = port->acquire(); token != nullptr) {
        // The image now belongs to the handles; the last one gives it back to the port,
        // which stays alive for that through the deleter's share of it.
        std::shared_ptr<ImagePort> owner = port;
        handle = ImageHandle(image, [owner, token, gate = closing](const CameraImage*) {
            std::lock_guard<std::mutex> lock(gate->mutex);
            if (!gate->closed) {
                owner->release(token);
            }
        });
    } else {
        // The port would not let the image go: publish a copy rather than an image the port
        // may refill while a reader scans it.
        handle = std::make_shared<const CameraImage>(*image);
    }
    space_write(config.data_key, handle, 0, 1.0f);
}

// --- HandPosSensorAgent --------------------------------------------------------------------

HandPosSensorAgent::HandPosSensorAgent(std::string key,
                                       std::shared_ptr<const RegistrationWatch> name_server)
    : Agent(key), watch(std::move(name_server))
{
    release_name = "HandPosSensorAgent";
    print_agent_created(key);
}

HandPosSensorAgent::~HandPosSensorAgent()
{
    if (port) {
        port->close();
    }
}

void HandPosSensorAgent::close_ports()
{
    if (port) {
        port->close();
    }
}

void HandPosSensorAgent::init(std::string key)
{
    config = space_read(key, SensorBlock{"HeadAgent", "/lhand/pos", "/icubSim/world", "lhand_pos",
                                         "world get lhand", 1000, 500});
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;   // released before it started: it never calls the robot
    }
    port = std::make_unique<yarp::os::Port>();
    registration.configure(watch, "HandPosSensorAgent", key, config.local_port);
    registration.open(*port);
    link.configure("HandPosSensorAgent", key, config.local_port, config.remote_port,
                   config.remote_port);
    link.keep(port->getOutputCount());
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void HandPosSensorAgent::sense_select_act(int /*id*/)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;   // the program is shutting down: no further call to the robot
    }
    if (!registration.keep(*port) || !link.keep(port->getOutputCount())) {
        return;
    }
    const yarp::os::Bottle request(config.command);
    // A failed call must not re-publish the previous answer as a new one.
    reply.clear();
    if (!port->write(request, reply)) {
        return;
    }
    hand_position.resize(reply.size());
    for (std::size_t i = 0; i < reply.size(); ++i) {
        hand_position[i] = reply.get(i).asFloat64();
        print_line(hand_position_line(hand_position[i]));
    }
    space_write(config.data_key, hand_position, 0, 1.0f);
}

// --- VectorStreamAgent and its two kinds ---------------------------------------------------

VectorStreamAgent::VectorStreamAgent(std::string key, const char* agent_class,
                                     SensorBlock built_in, const char* word,
                                     std::shared_ptr<const RegistrationWatch> name_server)
    : Agent(key), watch(std::move(name_server)), defaults(std::move(built_in)), line_word(word)
{
    release_name = agent_class;
    print_agent_created(key);
}

InertialSensorAgent::InertialSensorAgent(std::string key,
                                         std::shared_ptr<const RegistrationWatch> name_server)
    : VectorStreamAgent(key, "InertialSensorAgent",
                        SensorBlock{"InertialAgent", "/inertial", "/icubSim/inertial", "inertial", "",
                                    1000, 500},
                        "position", std::move(name_server))
{
}

TouchSensorAgent::TouchSensorAgent(std::string key,
                                   std::shared_ptr<const RegistrationWatch> name_server)
    : VectorStreamAgent(key, "TouchSensorAgent",
                        SensorBlock{"TouchAgent", "/skin/left_touch", "/icubSim/skin/left_hand",
                                    "left_touch", "", 1000, 500},
                        nullptr, std::move(name_server))
{
}

VectorStreamAgent::~VectorStreamAgent()
{
    if (port) {
        port->close();
    }
}

void VectorStreamAgent::close_ports()
{
    if (port) {
        port->close();
    }
}

void VectorStreamAgent::init(std::string key)
{
    config = space_read(key, defaults);
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;   // released before it started: it never calls the robot
    }
    port = std::make_unique<yarp::os::BufferedPort<yarp::sig::Vector>>();
    registration.configure(watch, release_name, key, config.local_port);
    registration.open(*port);
    link.configure(release_name, key, config.remote_port, config.local_port, config.remote_port);
    link.keep(port->getInputCount());
    timer_attach(config.delay_ms, config.period_ms, 1000);
}

void VectorStreamAgent::sense_select_act(int /*id*/)
{
    std::lock_guard<DeviceLock> lock(device_lock);
    if (released) {
        return;   // the program is shutting down: no further call to the robot
    }
    if (!registration.keep(*port) || port->isClosed() || !link.keep(port->getInputCount())) {
        return;
    }
    // Never waits, as the camera agent: a lost stream must not block the agent for good.
    const yarp::sig::Vector* received = port->read(false);
    if (received == nullptr) {   // nothing new, or the port was interrupted
        return;
    }
    reading = *received;
    if (line_word != nullptr) {
        for (std::size_t i = 0; i < reading.size(); ++i) {
            print_line(format_value_line(line_word, reading[i]));
        }
    }
    space_write(config.data_key, reading, 0, 1.0f);
}
