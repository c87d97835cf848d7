// The soak's driver: starts the loopback servers, the writer and the service, changes their
// world for the given minutes, checks what they did, prints the figures and ends everything.
#pragma once

#include <string>

namespace krel_soak {

// 0 when every check held, 1 after a miss, 130 when interrupted. The run's files go into
// `directory` (made when missing): bin/ (the working directory), config/, log/, registry/ and
// the journals.
int runDriver(const std::string& self, const std::string& directory, double minutes);

} // namespace krel_soak
