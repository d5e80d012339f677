#pragma once
// What both controllers share at their entry: the usage text and stdout set-up.

/// True when any argument is "--help" or "-h". The controllers take no other option of their
/// own; everything else goes to the Qt application.
bool wants_help(int argc, char** argv);

/// Prints the usage of `program` with its one-paragraph `summary` to standard output.
void print_usage(const char* program, const char* summary);

/// Makes standard output line-buffered, so that a reader at the other end of a pipe sees
/// every diagnostic line when it is printed.
void line_buffer_stdout();
