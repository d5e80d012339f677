#pragma once
// Serving a control board to remote_controlboard clients (internal API of the bundled YARP
// layer; a real YARP installation has its own servers). The simulator stand-in implements
// ControlBoard for each of its boards and serves it under the board's name:
//
//     HeadBoard head;                          // : public compat::ControlBoard
//     compat::ControlBoardServer server;
//     if (!server.open("/icubSim/head", head)) { ... }   // clients use "remote" "/icubSim/head"
//     ...
//     server.close();                          // or let it go out of scope
//
// A client opened with PolyDriver ("device" "remote_controlboard", "remote" "/icubSim/head",
// "local" "/some/client") reaches the board through the port "<name>/rpc:i"; each interface
// call of the client becomes one call of the ControlBoard below.
#include <memory>
#include <string>

namespace compat {

/**
 * What a board offers. Arrays hold axes() values, in the board's axis order. Calls come
 * from the server's connection threads, never two at once for one server (the server
 * serialises them), but not on the thread that opened the server: a board shared with
 * other threads (a physics loop) must guard its own state.
 *
 * Control modes are the VOCAB_CM_* values of <yarp/dev/IControlMode.h>. A board behaves like
 * the robot's: joints start in position mode, positionMove is ignored (returns true) for a
 * joint not in position mode and velocityMove for one not in velocity mode.
 *
 * Arguments are validated by the server (joint in range, one value per axis) before a call
 * reaches the board; a board returns false only for its own failures.
 */
class ControlBoard {
public:
    virtual ~ControlBoard() = default;
    /// Number of axes; must not change while the board is served.
    virtual int axes() const = 0;
    virtual bool getEncoders(double* encs) = 0;
    virtual bool getEncoderSpeeds(double* speeds) = 0;
    virtual bool positionMove(int j, double ref) = 0;
    virtual bool positionMove(const double* refs) = 0;
    virtual bool setRefSpeeds(const double* speeds) = 0;
    virtual bool setRefAccelerations(const double* accs) = 0;
    virtual bool checkMotionDone(bool* done) = 0;
    virtual bool stop() = 0;
    virtual bool velocityMove(int j, double speed) = 0;
    virtual bool velocityMove(const double* speeds) = 0;
    virtual bool getControlMode(int j, int* mode) = 0;
    virtual bool setControlMode(int j, int mode) = 0;
};

/// Serves one ControlBoard under a board name until close().
class ControlBoardServer {
public:
    ControlBoardServer();
    ControlBoardServer(const ControlBoardServer&) = delete;
    ControlBoardServer& operator=(const ControlBoardServer&) = delete;
    ~ControlBoardServer();

    /// Starts serving `board` (which must outlive close()) under `name`, e.g. "/icubSim/head".
    /// False, with one diagnostic line, when the name is invalid or already served.
    bool open(const std::string& name, ControlBoard& board);
    /// Stops serving; clients' calls return false from then on. Idempotent.
    void close();
    bool isOpen() const;

    /// Name of the port a client connects to for board `name`.
    static std::string rpcPortName(const std::string& name) { return name + "/rpc:i"; }

private:
    struct Private;
    std::unique_ptr<Private> p_;
};

} // namespace compat
