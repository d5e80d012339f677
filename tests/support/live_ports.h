#pragma once
// Which ports are registered and which answer, asked the same way on every YARP: the bundled
// layer's port registry, or an installed YARP's name server. For suites that check which
// ports a program opens and which it leaves behind.
#include <string>
#include <vector>

namespace ac_test {

/// Every registered port name (the name server's own ports excepted). An installed YARP's
/// name server also lists names left behind by a process that died; the bundled registry
/// lists live ports only (see registry_mentions()).
std::vector<std::string> registered_ports();

/// The registered ports that answer.
std::vector<std::string> live_ports();

/// Whether a port of that name answers.
bool port_live(const std::string& name);

/// Whether any registration, live or left behind by a process that died, carries `fragment`
/// in its name.
bool registry_mentions(const std::string& fragment);

} // namespace ac_test
