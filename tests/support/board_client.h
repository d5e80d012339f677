#pragma once
// A remote_controlboard client of a served control board, with the interfaces the motor
// agents use. Header-only: its users link YARP already.
#include <yarp/dev/ControlBoardInterfaces.h>
#include <yarp/dev/IControlMode.h>
#include <yarp/dev/PolyDriver.h>
#include <yarp/os/Property.h>

#include <string>

namespace ac_test {

/// The configuration of a remote_controlboard client of `remote`, its own ports under `local`.
inline yarp::os::Property remote_board_options(const std::string& remote, const std::string& local)
{
    yarp::os::Property options;
    options.put("device", "remote_controlboard");
    options.put("remote", remote);
    options.put("local", local);
    return options;
}

/// A client opened on construction; the interface pointers stay null when it did not open.
struct BoardClient {
    BoardClient(const std::string& remote, const std::string& local)
    {
        yarp::os::Property options = remote_board_options(remote, local);
        opened = driver.open(options);
        if (opened) {
            driver.view(enc);
            driver.view(pos);
            driver.view(vel);
            driver.view(mode);
        }
    }
    /// Whether it opened with every interface.
    bool ok() const { return opened && enc && pos && vel && mode; }

    yarp::dev::PolyDriver driver;
    bool opened = false;
    yarp::dev::IEncoders* enc = nullptr;
    yarp::dev::IPositionControl* pos = nullptr;
    yarp::dev::IVelocityControl* vel = nullptr;
    yarp::dev::IControlMode* mode = nullptr;
};

} // namespace ac_test
