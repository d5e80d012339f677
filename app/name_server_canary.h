#pragma once
// The controllers' registration watch: its canary is a port of the program's own.
#include <memory>
#include <string>

#include "core/registration_watch.h"

/// Starts a registration watch whose canary is the port `<prefix>/registration`. Stop it
/// (RegistrationWatch::stop) before the YARP network goes.
std::shared_ptr<RegistrationWatch> watch_name_server(const std::string& prefix);
