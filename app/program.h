#pragma once
// What both controllers share at their entry and exit: the usage text, stdout set-up and
// the shutdown after the event loop.
#include <vector>

class Agent;
class ShutdownDeadline;

/// True when any argument is "--help" or "-h". The controllers take no other option of their
/// own; everything else goes to the Qt application.
bool wants_help(int argc, char** argv);

/// Prints the usage of `program` with its one-paragraph `summary` to standard output.
void print_usage(const char* program, const char* summary);

/// Makes standard output line-buffered, so that a reader at the other end of a pipe sees
/// every diagnostic line when it is printed.
void line_buffer_stdout();

/// The controllers' shutdown once the event loop has returned `status`: arms `deadline` (the
/// rest of the shutdown, windows and middleware included, must end within 20 s) and releases
/// the robot agents. When an agent stays in a call to the robot, this ends the process at
/// once with `status` and one line saying so: its thread is inside the middleware, and the
/// teardown of the windows, the YARP network and the libraries' static objects under it
/// crashes the process. Returns when every agent was released.
void release_or_end(const std::vector<Agent*>& agents, int status, ShutdownDeadline& deadline,
                    const char* program);
