#pragma once
// The world window: places the ball in the simulated world. Three number fields hold the
// ball's x, y and z; three sliders set one coordinate each (in thousandths) and send the ball
// command at once; "Set" sends whatever the fields hold. The window talks to the simulator's
// world port directly over a port of its own and does not use the Space.
#include <cstdint>
#include <memory>

#include <QMainWindow>
#include <QTimer>

#include <yarp/os/Bottle.h>
#include <yarp/os/Port.h>

#include "core/registration_watch.h"

class Ui_WorldGui;

/// Operator window that moves the ball with "world set ball <x> <y> <z>" requests.
///
/// Each request waits for the simulator's reply on the GUI thread, but never longer than
/// reply_timeout_s: a simulator that accepts the connection and never answers costs one
/// second per command, after which the window is usable again and its status bar says what
/// went wrong. The status bar also reports a port that cannot be opened or a simulator that
/// cannot be reached; the open and the connection are retried at the next command. Following
/// a registration watch, the window opens its port again (which registers it) once the name
/// server was started again.
class WorldGui : public QMainWindow {
    Q_OBJECT

public:
    /// Name of the window's own port.
    static constexpr const char* local_port_name = "/move_ball";
    /// The simulator's world port the ball commands go to.
    static constexpr const char* world_port_name = "/icubSim/world";
    /// Longest wait for the simulator's reply to one ball command, in seconds.
    static constexpr float reply_timeout_s = 1.0f;

    /// Builds the window, opens "/move_ball" and connects it to "/icubSim/world". Sends
    /// nothing. A failure to open or connect shows in the status bar.
    explicit WorldGui(QWidget* parent = nullptr);
    /// Closes the port.
    ~WorldGui() override;

    /// The ball command for the fields' current values: world set ball <x> <y> <z>.
    yarp::os::Bottle ballCommand() const;

    /// Opens the port again within a second of each restart of the name server that
    /// `name_server` sees. Call once.
    void followRegistration(std::shared_ptr<const RegistrationWatch> name_server);

private slots:
    void on_pushButton_clicked();
    void on_xpos_valueChanged(int value);
    void on_ypos_valueChanged(int value);
    void on_zpos_valueChanged(int value);

private:
    /// Opens the window's port; reports a failure in the status bar.
    bool open_port();
    /// After a restart of the name server: closes the port and opens it again.
    void register_again();
    /// Connects the port to the world port when it has no connection yet; reports failure.
    bool ensure_connected();
    /// Sends the ball command and waits (bounded) for the reply; reports the outcome.
    void send_ball_command();

    Ui_WorldGui* ui;
    yarp::os::Bottle reply;
    yarp::os::Port port;
    bool port_open = false;
    std::shared_ptr<const RegistrationWatch> registration;
    std::uint64_t registered_in = 0;   // the watch's generation when the port was opened
    QTimer registration_check;
};
