#include "gui/worldgui.h"

#include <cstdio>
#include <utility>

#include <QStatusBar>

#include <yarp/os/Network.h>

#include "ui_worldgui.h"

namespace {
// How long a status line stays up after a successful command (a failure stays until the
// next command replaces it).
constexpr int success_message_ms = 3000;
}  // namespace

WorldGui::WorldGui(QWidget* parent) : QMainWindow(parent), ui(new Ui_WorldGui) {
    // setupUi sets the values before it connects the slots by name, so building the window
    // sends nothing.
    ui->setupUi(this);

    // Without a bound the request would wait for the reply forever, and with it the event
    // loop and every window of the program.
    port.setTimeout(reply_timeout_s);
    if (open_port()) ensure_connected();
}

bool WorldGui::open_port() {
    port_open = port.open(local_port_name);
    if (!port_open) {
        statusBar()->showMessage(
            tr("Cannot open port %1: the ball cannot be moved").arg(local_port_name));
    }
    return port_open;
}

void WorldGui::followRegistration(std::shared_ptr<const RegistrationWatch> name_server) {
    registration = std::move(name_server);
    if (!registration) return;
    registered_in = registration->generation();
    // Asking the watch is a look at a number: the event loop does not wait on the network.
    connect(&registration_check, &QTimer::timeout, this, [this] {
        if (registration->generation() != registered_in) register_again();
    });
    registration_check.start(1000);
}

void WorldGui::register_again() {
    registered_in = registration->generation();
    port.close();
    if (!open_port()) return;   // said in the status bar; tried again at the next command
    std::printf("WorldGui: the name server was restarted; registered %s again\n", local_port_name);
    std::fflush(stdout);
    ensure_connected();
}

WorldGui::~WorldGui() {
    port.close();
    delete ui;
}

yarp::os::Bottle WorldGui::ballCommand() const {
    yarp::os::Bottle command("world set ball");
    command.addFloat64(ui->x_value->value());
    command.addFloat64(ui->y_value->value());
    command.addFloat64(ui->z_value->value());
    return command;
}

bool WorldGui::ensure_connected() {
    if (port.getOutputCount() > 0) return true;
    if (yarp::os::NetworkBase::connect(local_port_name, world_port_name, "", true)) return true;
    // A name server started again knows none of the ports opened before: nothing can connect
    // this one until it is opened (and so registered) again.
    if (port_open && !yarp::os::NetworkBase::exists(local_port_name, true)) {
        port.close();
        if (open_port() && yarp::os::NetworkBase::connect(local_port_name, world_port_name, "", true)) {
            std::printf("WorldGui: %s was not registered with the name server; registered it again\n",
                        local_port_name);
            std::fflush(stdout);
            return true;
        }
        if (!port_open) return false;   // the status bar says so
    }
    statusBar()->showMessage(
        tr("Not connected to %1 (is the simulator running?)").arg(world_port_name));
    return false;
}

void WorldGui::send_ball_command() {
    if (!port_open && !open_port()) {
        statusBar()->showMessage(
            tr("Port %1 is not open: the ball was not moved").arg(local_port_name));
        return;
    }
    if (!ensure_connected()) return;
    const yarp::os::Bottle command = ballCommand();
    reply.clear();
    if (port.write(command, reply)) {
        statusBar()->showMessage(tr("Ball set to %1 %2 %3")
                                     .arg(ui->x_value->value(), 0, 'f', 3)
                                     .arg(ui->y_value->value(), 0, 'f', 3)
                                     .arg(ui->z_value->value(), 0, 'f', 3),
                                 success_message_ms);
    } else {
        statusBar()->showMessage(tr("No reply from %1 within %2 s: the ball may not have moved")
                                     .arg(world_port_name)
                                     .arg(static_cast<double>(reply_timeout_s)));
        // Start the next command on a fresh connection: this one may be broken (a simulator
        // that went away and came back) or still carry the unanswered request.
        yarp::os::NetworkBase::disconnect(local_port_name, world_port_name, true);
    }
}

void WorldGui::on_pushButton_clicked() { send_ball_command(); }

void WorldGui::on_xpos_valueChanged(int value) {
    ui->x_value->setValue(value / 1000.0);
    send_ball_command();
}

void WorldGui::on_ypos_valueChanged(int value) {
    ui->y_value->setValue(value / 1000.0);
    send_ball_command();
}

void WorldGui::on_zpos_valueChanged(int value) {
    ui->z_value->setValue(value / 1000.0);
    send_ball_command();
}
