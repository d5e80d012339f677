#pragma once
// Sensor agents: copy robot data into the Space on a periodic timer, each through a port of
// its own. Given a registration watch, each opens its port again after the name server was
// started again (see core/registration_watch.h); a port whose open failed is opened again in
// any case.
//
//  - CamSensorAgent publishes the newest camera image as an ImageHandle, taken over from its
//    port without copying pixels.
//  - HandPosSensorAgent asks the simulator's world interface for the left hand's position.
//  - InertialSensorAgent and TouchSensorAgent publish the newest vector of their stream.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include <yarp/os/Bottle.h>
#include <yarp/os/BufferedPort.h>
#include <yarp/os/Port.h>
#include <yarp/sig/Vector.h>

#include "agents/image_handle.h"
#include "agents/robot/port_link.h"
#include "agents/robot/port_registration.h"
#include "agents/robot/robot_release.h"
#include "core/agentspace.h"
#include "core/registration_watch.h"

/// Publishes the newest image of a camera stream once per timer tick, when one has arrived
/// since the previous tick.
///
/// The image is not copied: the agent takes it over from the port (acquire()) and publishes
/// a shared handle whose last owner gives it back to the port (release()). While any reader
/// holds the handle, the port neither refills nor frees that image.
class CamSensorAgent : public Agent, public QuietOnRelease {
public:
    using ImagePort = yarp::os::BufferedPort<CameraImage>;

    /// Prints the creation line; opens nothing. With `name_server` (may be null) the port is
    /// opened again once the name server was started again.
    explicit CamSensorAgent(std::string key,
                            std::shared_ptr<const RegistrationWatch> name_server = nullptr);
    /// Closes the port. Images still held by readers stay valid: their handles keep the
    /// port object alive until the last one is released.
    ~CamSensorAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

protected:   // reachable by subclasses that observe or interrupt the port
    void close_ports() override;
    /// Shared with the handles' deleters, which give each image back to this port.
    std::shared_ptr<ImagePort> port;
    /// Whether the port was closed in the release, shared with the deleters too: a handle
    /// let go after that (a scan that ends while the program shuts down) keeps its image
    /// instead of calling into the middleware as it goes.
    struct Closing {
        std::mutex mutex;
        bool closed = false;
    };
    std::shared_ptr<Closing> closing = std::make_shared<Closing>();
    SensorBlock config;
    PortLink link;
    PortRegistration registration;

private:
    std::shared_ptr<const RegistrationWatch> watch;
};

/// Asks the simulator's world interface for the left hand's position once per tick (a
/// request/reply call) and publishes the reply's items as a vector, printing one
/// "Position %f" line per item.
class HandPosSensorAgent : public Agent, public QuietOnRelease {
public:
    /// Prints the creation line; opens nothing.
    explicit HandPosSensorAgent(std::string key,
                                std::shared_ptr<const RegistrationWatch> name_server = nullptr);
    /// Closes the port.
    ~HandPosSensorAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

protected:
    void close_ports() override;
    yarp::os::Bottle reply;               ///< the answer of the last call
    std::unique_ptr<yarp::os::Port> port;
    yarp::sig::Vector hand_position;      ///< built from the last answer
    SensorBlock config;
    PortLink link;
    PortRegistration registration;

private:
    std::shared_ptr<const RegistrationWatch> watch;
};

/// Publishes the newest vector of a sensor stream once per tick (when one has arrived since
/// the previous tick), and prints one line per element when the stream has a line word. The
/// inertial and the touch agent are this agent with their own defaults.
class VectorStreamAgent : public Agent, public QuietOnRelease {
public:
    /// Closes the port.
    ~VectorStreamAgent() override;

    void init(std::string key) override;
    void sense_select_act(int id) override;

protected:
    /// Prints the creation line; opens nothing. `agent_class` names the agent in its lines;
    /// `defaults` is its built-in configuration; `line_word` starts the line printed per
    /// element ("<word> <value %f> \n"), or is nullptr for none.
    VectorStreamAgent(std::string key, const char* agent_class, SensorBlock defaults,
                      const char* line_word, std::shared_ptr<const RegistrationWatch> name_server);

    void close_ports() override;
    std::unique_ptr<yarp::os::BufferedPort<yarp::sig::Vector>> port;
    yarp::sig::Vector reading;   ///< copy of the last vector read
    SensorBlock config;
    PortLink link;
    PortRegistration registration;

private:
    std::shared_ptr<const RegistrationWatch> watch;
    SensorBlock defaults;
    const char* line_word;
};

/// Publishes the newest vector of the inertial sensor stream once per tick (when one has
/// arrived since the previous tick), printing one "position %f" line per element.
class InertialSensorAgent : public VectorStreamAgent {
public:
    /// Prints the creation line; opens nothing.
    explicit InertialSensorAgent(std::string key,
                                 std::shared_ptr<const RegistrationWatch> name_server = nullptr);
};

/// Publishes the newest vector of a skin (touch) stream once per tick (when one has arrived
/// since the previous tick), silently.
class TouchSensorAgent : public VectorStreamAgent {
public:
    /// Prints the creation line; opens nothing.
    explicit TouchSensorAgent(std::string key,
                              std::shared_ptr<const RegistrationWatch> name_server = nullptr);
};

/// The line the hand agent prints for each reply item: "Position <value %f> \n".
std::string hand_position_line(double value);

/// The line the inertial agent prints for each element: "position <value %f> \n".
std::string inertial_position_line(double value);
