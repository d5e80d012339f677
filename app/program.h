#pragma once
// What both controllers share at their entry and exit: the usage text, stdout set-up and
// the shutdown after the event loop.
#include <vector>

class Agent;
class ShutdownDeadline;

/// When any argument is "--help" or "-h", prints the usage of `program` with its
/// one-paragraph `summary` to standard output and returns true. The controllers take no other
/// option of their own; everything else goes to the Qt application.
bool answered_help(int argc, char** argv, const char* program, const char* summary);

/// The first steps of a controller, before anything else: SIGINT and SIGTERM are blocked in
/// this thread (so in every thread started after it, which leaves them to the signal
/// watcher), standard output is line-buffered, so that a reader at the other end of a pipe
/// sees every diagnostic line when it is printed, and "Main started " is printed.
void begin_controller();

/// The controllers' shutdown once the event loop has returned `status`: arms `deadline` (the
/// rest of the shutdown, windows and middleware included, must end within 20 s) and releases
/// the robot agents. When an agent stays in a call to the robot, this ends the process at
/// once with `status` and one line saying so: its thread is inside the middleware, and the
/// teardown of the windows, the YARP network and the libraries' static objects under it
/// crashes the process. Returns when every agent was released.
void release_or_end(const std::vector<Agent*>& agents, int status, ShutdownDeadline& deadline,
                    const char* program);
